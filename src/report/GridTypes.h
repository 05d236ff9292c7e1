#pragma once

// Value types shared by the sheet model, its view and the workbook writer.

#include <QString>

namespace grid {

// Addressing: columns and rows count from 1; kAll in an index means every column or row of the sheet,
// kHeader addresses the column-header row or the row-header column.
constexpr int kAll = -1;
constexpr int kHeader = -1000;

// Colours are Windows RGB values, 0x00BBGGRR.
constexpr int Rgb(int r, int g, int b)
{
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
constexpr int RedOf(int rgb)
{
    return rgb & 0xFF;
}
constexpr int GreenOf(int rgb)
{
    return (rgb >> 8) & 0xFF;
}
constexpr int BlueOf(int rgb)
{
    return (rgb >> 16) & 0xFF;
}

enum CellType : int {
    CellEditText = 1,
    CellStaticText = 5, // read-only text
    CellButton = 7,
    CellCheckBox = 10,
    CellNumber = 13,
};

enum HorizontalAlign : int { AlignLeft = 0, AlignRight = 1, AlignHCenter = 2 };
enum VerticalAlign : int { AlignTop = 0, AlignBottom = 1, AlignVCenter = 2 };

// Edges of DrawBlockBorder, combined as a bit mask (15 = every side of every cell of the block).
enum BorderEdge : int { EdgeLeft = 1, EdgeRight = 2, EdgeTop = 4, EdgeBottom = 8, EdgeAll = 15 };

// Border line styles of DrawBlockBorder.
enum BorderStyle : int { BorderNone = 0, BorderSolid = 1, BorderDash = 2, BorderDot = 3, BorderDashDot = 4 };

// Appearance properties of a sheet, set with CSpreadSheet::SetGridProperty under the grid's own numbers.
enum GridProperty : int {
    PropControlBorder = -504,  // frame around the whole control (0 none)
    PropEmptyAreaColor = 55,   // background beyond the last column and row
    PropForeColor = 56,        // default text colour of the control
    PropHeaderDepth = 116,     // raised header look (0 flat)
    PropHeaderBackColor = 123, // header cells' background
    PropHeaderShadowColor = 124,
    PropHeaderTextColor = 125,
    PropButtonBorderColor = 131,
    PropButtonFaceColor = 132,
    PropButtonHighlightColor = 133, // face of a pressed button
    PropButtonShadowColor = 134,
    PropButtonTextColor = 139,
    PropScrollBarStyle = 273,
    PropSelectionColor = 289, // background of the operator's current cell
    PropSelectionStyle = 391,
    PropGridLineColor = 403,
    PropHeaderGridLineColor = 404,
    PropTabStyle = 525,
};

struct BorderLine {
    int style = BorderNone;
    int color = 0;
    bool operator==(const BorderLine &) const = default;
};

// A join: the anchor cell (col, row) covers colCount columns and rowCount rows.
struct CellSpan {
    int col = 0;
    int row = 0;
    int colCount = 1;
    int rowCount = 1;
    bool Contains(int c, int r) const { return c >= col && c < col + colCount && r >= row && r < row + rowCount; }
    bool Intersects(const CellSpan &o) const
    {
        return col < o.col + o.colCount && o.col < col + colCount && row < o.row + o.rowCount && o.row < row + rowCount;
    }
    bool operator==(const CellSpan &) const = default;
};

// How a sheet prints: paper A4, an orientation, optionally scaled to fit a number of pages, optionally
// centred between the side margins. Margins are in inches; a negative margin leaves the reader's default.
enum PageOrientation : int { PagePortrait = 0, PageLandscape = 1 };

struct PrintSettings {
    static constexpr int kMaxFitPages = 32767;
    int orientation = PagePortrait;
    // Pages wide and tall the printout is scaled to; 0 in one: as many as needed. Both 0: printed at full size.
    int fitWidth = 0;
    int fitHeight = 0;
    bool centerHorizontally = false;
    double marginLeft = -1, marginRight = -1, marginTop = -1, marginBottom = -1;
    // Rows printed again at the top of every page, from 1; 0: none.
    int titleFirstRow = 0;
    int titleLastRow = 0;
    // Page footer in the spreadsheet's footer codes ("&C" centre section, "&P" page number, "&N" page
    // count); empty: none.
    QString footer;
    static constexpr int kMaxFooterLength = 255;
    bool HasTitleRows() const { return titleFirstRow > 0; }
    bool FitsToPages() const { return fitWidth > 0 || fitHeight > 0; }
    bool operator==(const PrintSettings &) const = default;
};

// Every formatting property of one cell after the sheet, column, row and cell settings are combined.
struct CellFormat {
    int cellType = CellEditText;
    int textColor = Rgb(0, 0, 0);
    int backColor = Rgb(255, 255, 255);
    bool backColorSet = false; // false: the sheet's plain background, no fill in a workbook
    bool locked = false;
    int maxTextLength = 0; // 0: no limit
    int hAlign = AlignLeft;
    int vAlign = AlignBottom;
    QString buttonCaption;
    QString checkCaption;
    double numberMin = -99999999.0;
    double numberMax = 99999999.0;
    int numberDecimals = 2;
    QString fontName;
    double fontSize = 10.0;
    bool fontBold = false;
    bool shrinkToFit = false; // a text wider than its cell is drawn smaller rather than cut or spilled
    BorderLine left, right, top, bottom;
};

} // namespace grid
