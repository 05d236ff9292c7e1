#pragma once

// CSpreadSheet: the spreadsheet grid every table of the program uses, as a model that works without a
// window. SpreadSheetView draws its shown sheet and lets the operator work on it.
//
// Addressing: cell operations act on the current cell of the addressed sheet, chosen with SetCurrentColumn
// and SetCurrentRow. Columns and rows count from 1; -1 (grid::kAll) in one index means the whole column or
// row, in both the whole sheet; -1000 (grid::kHeader) addresses the column-header row or the row-header
// column. An operation on a cell outside the sheet does nothing (getters answer empty / 0 / false).
//
// A new sheet has 26 columns and 100 rows, column and row headers shown, both scroll bars, every cell an
// unlocked editable text cell in 10-point Arial, left and bottom aligned.
//
// Colours are Windows RGB values (0x00BBGGRR).
//
// Units: a column width is counted in characters of the grid's character cell, 120 twips each (8 pixels at
// 96 dots per inch); a row height in points, 20 twips each. Default column width 8, default row height 15.
// In a saved workbook a column of width w is w characters wide (Excel's own unit) and a row of height h is
// h points high.

#include "GridSheet.h"
#include "GridTypes.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class CSpreadSheet : public QObject {
    Q_OBJECT
  public:
    explicit CSpreadSheet(QObject *parent = nullptr);
    ~CSpreadSheet() override;

    // --- current cell ---
    void SetCurrentColumn(int col);
    void SetCurrentRow(int row);
    int GetCurrentColumn() const { return m_col; }
    int GetCurrentRow() const { return m_row; }

    // --- texts and values of the current cell ---
    QString GetCellText() const;
    void SetCellText(const QString &text);
    // Addresses (col, row), reads its text and writes the new one only when it differs. True when written.
    bool SetCellTextIfChanged(int col, int row, const QString &text);
    // Integer value of (col, row): a check box gives 1 ticked, 0 not; another cell its text read as an
    // integer. False (and *value 0) for a cell outside the sheet or a text that is no integer.
    bool GetCellInteger(int col, int row, int *value) const;
    // The same of sheet `sheet` (1-based), whichever is addressed; false for an unknown sheet.
    bool GetSheetCellInteger(int sheet, int col, int row, int *value) const;
    // Check box: 1 ticks, 0 clears. Another cell takes the number as its text.
    bool SetCellInteger(int col, int row, int value);

    // Tooltip of the current data cell (a single cell; blocks and headers are ignored). Kept with the cell's text:
    // copied with its row, emptied with it.
    QString GetCellToolTip() const;
    void SetCellToolTip(const QString &toolTip);
    QString toolTip(int col, int row) const; // of the addressed sheet, without moving the current cell

    // --- formats of the current cell (or block, with -1) ---
    int GetCellTextColor() const;
    void SetCellTextColor(int rgb);
    int GetCellBackColor() const;
    void SetCellBackColor(int rgb);
    void SetCellType(int type); // grid::CellType: 1 edit, 5 read-only, 7 button, 10 check box, 13 number
    int GetCellType() const;
    void SetCellLocked(bool locked);
    bool GetCellLocked() const;
    void SetMaxTextLength(int length);  // 0: no limit
    void SetHorizontalAlign(int align); // grid::HorizontalAlign: 0 left, 1 right, 2 centre
    void SetVerticalAlign(int align);   // grid::VerticalAlign: 0 top, 1 bottom, 2 centre
    void SetButtonCaption(const QString &caption);
    void SetCheckCaption(const QString &caption);
    void SetNumberMin(double min);
    void SetNumberMax(double max);
    void SetNumberDecimals(int decimals);
    void SetFontName(const QString &name);
    QString GetFontName() const;
    void SetFontSize(double points);
    double GetFontSize() const;
    void SetFontBold(bool bold);
    bool GetFontBold() const;
    // Kept in a saved workbook: a text too wide for its cell is printed smaller instead of being cut off or
    // spilling into the cells beside it. The grid itself draws the text at its size.
    void SetShrinkToFit(bool shrink);

    // --- sheet size ---
    int GetColumnCount() const;
    void SetColumnCount(int count);
    int GetRowCount() const;
    void SetRowCount(int count); // shrinking drops the cells beyond

    // --- blocks ---
    // Copies rows firstRow..lastRow (texts and formats, joins inside them) to destRow on; the row count grows
    // to hold the copy.
    void CopyRowBlock(int firstRow, int lastRow, int destRow);
    // Empties the block's texts; with dataOnly false also its formats. -1 as for cell addressing.
    void ClearBlock(int col1, int row1, int col2, int row2, bool dataOnly);
    // Sets the given edges (grid::BorderEdge mask) of every cell of the block; style 0 removes them.
    void DrawBlockBorder(int col1, int row1, int col2, int row2, int edges, int rgb, int style);
    // Joins colCount x rowCount cells from (col, row); 1 x 1 removes the join there. A new join replaces any it
    // overlaps. False when the block does not lie inside the sheet.
    bool JoinCells(int col, int row, int colCount, int rowCount);

    // --- sizes (see units above) ---
    double GetColumnWidth(int col) const;
    void SetColumnWidth(int col, double width); // col -1: every column, -1000: the row-header column
    double GetRowHeight(int row) const;
    void SetRowHeight(int row, double height); // row -1: every row, -1000: the column-header row
    bool ColumnWidthInTwips(double width, int *twips) const;
    bool RowHeightInTwips(int row, double height, int *twips) const;
    static constexpr int kTwipsPerWidthUnit = 120;
    static constexpr int kTwipsPerHeightUnit = 20;

    // --- the sheet as a whole (addressed sheet) ---
    int GetScrollBars() const; // 0 none, 1 horizontal, 2 vertical, 3 both
    void SetScrollBars(int bars);
    static constexpr int kScrollBarPixels = 20; // the width of the vertical bar, the height of the other
    bool GetColumnHeadersShown() const;
    void SetColumnHeadersShown(bool shown);
    bool GetRowHeadersShown() const;
    void SetRowHeadersShown(bool shown);
    void SetVisibleColumns(int count);
    void SetVisibleRows(int count);
    // Appearance property (grid::GridProperty, or any other number) of the addressed sheet.
    void SetGridProperty(int id, int value);
    int GetGridProperty(int id, int fallback = 0) const;

    // --- printing of the addressed sheet, kept in its saved workbook ---
    // Fit counts are clamped to 0..32767 (0: as many pages as needed); an orientation other than landscape
    // is portrait; a margin that is negative or not a number leaves the reader's default. Title rows outside
    // 1..65536 or in the wrong order mean none; a footer is cut to 255 characters.
    const grid::PrintSettings &GetPrintSettings() const;
    void SetPrintSettings(const grid::PrintSettings &settings);

    // --- sheets ---
    int GetSheetCount() const { return static_cast<int>(m_sheets.size()); }
    void SetSheetCount(int count); // at least 1; sheets beyond are dropped
    int GetAddressedSheet() const { return m_addressed; }
    void SetAddressedSheet(int sheet); // 1-based; an unknown sheet is ignored
    int GetShownSheet() const { return m_shown; }
    void SetShownSheet(int sheet);

    // Off: the view stops drawing and changes are only collected; on: one redraw of everything.
    void SetDisplayUpdates(bool on);
    bool GetDisplayUpdates() const { return m_displayUpdates; }

    // Writes the addressed sheet as an Excel 97-2003 workbook (.xls). sheetName empty: "Sheet1". flags are
    // reserved (0). The file appears only when it is complete; on failure *error tells why, in Korean.
    bool SaveExcelFile(const QString &path, const QString &sheetName, int flags, QString *error = nullptr) const;

    // --- conveniences ---
    QString text(int col, int row) const; // of the addressed sheet, without moving the current cell
    double columnWidth(int col) const;    // of the addressed sheet

    // --- read access for views and writers ---
    const grid::GridSheet *Sheet(int sheet) const; // 1-based; null if unknown
    QObject *View() const { return m_view; }       // the widget that shows this grid, if any
    void AttachView(QObject *view);                // by the view itself

    // --- the operator's actions on a shown cell (the view calls these; they honour type, lock and limits) ---
    bool IsEditableByOperator(int sheet, int col, int row) const;
    // Edit or number cell: applies the maximum length (longer text is cut) and the number range (refused).
    bool OperatorSetText(int sheet, int col, int row, const QString &text);
    bool OperatorToggleCheck(int sheet, int col, int row); // emits ButtonClicked(col, row, new state)
    bool OperatorPressButton(int sheet, int col, int row); // emits ButtonClicked(col, row, 0)

  signals:
    // A block of a sheet changed its texts or formats (inclusive, 1-based; kHeader for header cells).
    void CellsChanged(int sheet, int col1, int row1, int col2, int row2);
    // Counts, sizes, joins, headers or appearance of a sheet changed: its layout must be recomputed.
    void LayoutChanged(int sheet);
    void ShownSheetChanged(int sheet);
    void DisplayUpdatesChanged(bool on);
    // The operator clicked a button cell (buttonDown 0) or ticked/cleared a check box (buttonDown = new state).
    void ButtonClicked(int col, int row, int buttonDown);
    // The operator changed a cell's text or check state.
    void CellChangedByOperator(int sheet, int col, int row);

  private:
    grid::GridSheet &Addressed() { return *m_sheets[m_addressed - 1]; }
    const grid::GridSheet &Addressed() const { return *m_sheets[m_addressed - 1]; }
    bool AddressValid() const;
    void SetProp(grid::StyleProp prop, const grid::CellFormat &value);
    grid::CellFormat CurrentFormat() const;
    void NotifyCells(int sheet, int col1, int row1, int col2, int row2);
    void NotifyLayout(int sheet);

    std::vector<std::unique_ptr<grid::GridSheet>> m_sheets;
    int m_addressed = 1;
    int m_shown = 1;
    int m_col = 1;
    int m_row = 1;
    bool m_displayUpdates = true;
    QObject *m_view = nullptr;
};
