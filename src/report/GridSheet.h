#pragma once

// One sheet of the grid: cell texts, layered formats, joins, sizes and sheet-wide settings.
//
// A format property can be set on the whole sheet, a column, a row or a cell. Each setting carries a
// sequence number and the most recent one wins, so "whole column, then one cell" and "one cell, then whole
// column" both end as the grid's operator expects, and a column setting also holds for rows added later.
// Cells hold only what was set on them; a sheet of many rows and no texts costs almost nothing.

#include "GridTypes.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace grid {

enum class StyleProp : int {
    CellType,
    TextColor,
    BackColor,
    Locked,
    MaxTextLength,
    HAlign,
    VAlign,
    ButtonCaption,
    CheckCaption,
    NumberMin,
    NumberMax,
    NumberDecimals,
    FontName,
    FontSize,
    FontBold,
    ShrinkToFit,
    BorderLeft,
    BorderRight,
    BorderTop,
    BorderBottom,
    Count
};

// The properties set at one level (sheet, column, row or cell), each with the sequence number of its setting.
struct StyleLayer {
    std::array<uint32_t, static_cast<int>(StyleProp::Count)> seq{}; // 0: not set at this level
    CellFormat values;
    bool Empty() const;
};

struct GridCell {
    QString text;
    QString toolTip;                         // shown when the pointer rests on the cell
    std::shared_ptr<const StyleLayer> style; // shared between copies until one of them changes
};

class GridSheet {
  public:
    static constexpr int kMaxColumns = 16384;
    static constexpr int kMaxRows = 2000000;
    static constexpr double kDefaultColumnWidth = 8.0;   // characters
    static constexpr double kDefaultRowHeight = 15.0;    // points
    static constexpr double kDefaultHeaderWidth = 5.0;   // row-header column, characters
    static constexpr double kDefaultHeaderHeight = 15.0; // column-header row, points

    int ColumnCount() const { return m_columnCount; }
    int RowCount() const { return m_rowCount; }
    bool Contains(int col, int row) const { return col >= 1 && col <= m_columnCount && row >= 1 && row <= m_rowCount; }

    // Texts. Header cells are addressed with kHeader; a header cell without text shows its default label.
    QString Text(int col, int row) const;
    QString HeaderLabel(int col, int row) const; // what a header cell shows
    bool HasText(int col, int row) const;
    QString ToolTip(int col, int row) const;

    // The combined format of a data cell, or of a header cell (kHeader in col or row).
    CellFormat Format(int col, int row) const;

    double ColumnWidth(int col) const; // col may be kHeader (the row-header column)
    double RowHeight(int row) const;   // row may be kHeader (the column-header row)
    bool ColumnWidthSet(int col) const;
    bool RowHeightSet(int row) const;
    // Moves whenever the heights of existing rows may have changed (a height set, rows removed or
    // copied), but not when rows are only added: a view may then extend its row positions.
    uint64_t RowHeightsRevision() const { return m_rowHeightsRevision; }

    const QList<CellSpan> &Spans() const { return m_spans; }
    std::optional<CellSpan> SpanAt(int col, int row) const; // the join covering (col, row), if any

    bool ColumnHeadersShown() const { return m_columnHeadersShown; }
    bool RowHeadersShown() const { return m_rowHeadersShown; }
    int ScrollBars() const { return m_scrollBars; }
    int VisibleColumns() const { return m_visibleColumns; }
    int VisibleRows() const { return m_visibleRows; }
    int Property(int id, int fallback) const { return m_properties.value(id, fallback); }
    const PrintSettings &Printing() const { return m_printing; }

    // --- changes, used by CSpreadSheet after it has resolved the addressing ---
    void SetColumnCount(int n);
    void SetRowCount(int n);
    void SetText(int col, int row, const QString &text);
    void SetToolTip(int col, int row, const QString &toolTip);
    // Sets one property over a block; col/row ranges are already clipped, kAll means the whole dimension.
    void SetProperty(int col, int row, StyleProp prop, const CellFormat &value);
    void ClearBlock(int col1, int row1, int col2, int row2, bool dataOnly);
    void CopyRows(int firstRow, int lastRow, int destRow);
    bool Join(const CellSpan &span);
    void SetColumnWidth(int col, double width);
    void SetRowHeight(int row, double height);
    void SetColumnHeadersShown(bool on) { m_columnHeadersShown = on; }
    void SetRowHeadersShown(bool on) { m_rowHeadersShown = on; }
    void SetScrollBars(int v) { m_scrollBars = v; }
    void SetVisibleColumns(int n) { m_visibleColumns = n; }
    void SetVisibleRows(int n) { m_visibleRows = n; }
    void SetPropertyValue(int id, int value) { m_properties.insert(id, value); }
    void SetPrinting(const PrintSettings &settings) { m_printing = settings; }

  private:
    struct Row {
        std::vector<GridCell> cells;             // index col - 1, grown on demand
        std::shared_ptr<const StyleLayer> style; // whole-row settings
    };

    GridCell *CellFor(int col, int row); // creates storage
    const GridCell *CellAt(int col, int row) const;
    static void Apply(std::shared_ptr<const StyleLayer> &layer, StyleProp prop, const CellFormat &value, uint32_t seq);
    void ResolveInto(CellFormat &out, std::array<uint32_t, static_cast<int>(StyleProp::Count)> &best,
                     const StyleLayer *layer) const;

    int m_columnCount = 0;
    int m_rowCount = 0;
    std::vector<Row> m_rows; // index row - 1, only as far as something was stored
    std::vector<std::shared_ptr<const StyleLayer>> m_columnStyles;
    std::shared_ptr<const StyleLayer> m_sheetStyle;

    std::vector<GridCell> m_columnHeaderCells; // index col - 1
    std::vector<GridCell> m_rowHeaderCells;    // index row - 1
    GridCell m_cornerCell;
    std::shared_ptr<const StyleLayer> m_columnHeaderRowStyle;
    std::shared_ptr<const StyleLayer> m_rowHeaderColumnStyle;

    std::vector<double> m_columnWidths; // index col - 1; negative: default
    std::vector<double> m_rowHeights;   // index row - 1; negative: default
    double m_defaultColumnWidth = kDefaultColumnWidth;
    double m_defaultRowHeight = kDefaultRowHeight;
    double m_headerColumnWidth = kDefaultHeaderWidth;
    double m_headerRowHeight = kDefaultHeaderHeight;

    QList<CellSpan> m_spans;
    bool m_columnHeadersShown = true;
    bool m_rowHeadersShown = true;
    int m_scrollBars = 3;
    int m_visibleColumns = 0;
    int m_visibleRows = 0;
    QHash<int, int> m_properties;
    PrintSettings m_printing;
    uint32_t m_nextSeq = 1;
    uint64_t m_rowHeightsRevision = 0;
};

} // namespace grid
