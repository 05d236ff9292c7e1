#pragma once

#include <QRect>

class CSpreadSheet;

// The colours a grid is styled in, as the grid stores colours (red in the low byte).
struct GridColors {
    int back = 0;      // cells and the empty area
    int text = 0;      // cell and header text
    int header = 0;    // header cells and their shadow
    int lines = 0;     // grid lines
    int selection = 0; // selected cells
};

// The grid colours of an application palette: any type with these five colour fields.
template <class Palette> GridColors GridColorsOf(const Palette &p)
{
    return {int(p.backColor), int(p.textColor), int(p.labelBackColor), int(p.borderColor), int(p.highlightColor)};
}

// The resolution, in dots per inch, of the screen a grid is laid out for.
struct GridScreen {
    int dpiX = 96;
    int dpiY = 96;
    // pixels = resolution / 1440 x twips.
    void TwipsToPixels(double twipsX, double twipsY, double &pixelsX, double &pixelsY) const;
};

// Dark cells with light text, headers, lines and selection in their colours; on a screen above 96
// dpi a smaller font and column widths and row heights divided by sqrt(dpi / 96).
void ApplyGridStyle(CSpreadSheet &grid, const GridColors &colors, int dpi);
// Moves the grid's view to rect and gives every row the same height, and with fitColumns every column
// the same width, so that they fill it. Nothing without a view.
void FitGridToRect(CSpreadSheet &grid, bool fitColumns, const QRect &rect, const GridScreen &screen);
// Scales the addressed sheet's column widths in proportion so that they fill rect's width exactly
// (one pixel a column goes to the grid lines), the last column taking the remainder. Nothing without
// a view.
void StretchGridColumns(CSpreadSheet &grid, const QRect &rect, const GridScreen &screen);
