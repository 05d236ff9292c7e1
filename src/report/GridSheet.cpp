#include "GridSheet.h"

#include <algorithm>

namespace grid {

namespace {

constexpr int kPropCount = static_cast<int>(StyleProp::Count);

void CopyValue(CellFormat &to, const CellFormat &from, StyleProp prop)
{
    switch (prop) {
    case StyleProp::CellType: to.cellType = from.cellType; break;
    case StyleProp::TextColor: to.textColor = from.textColor; break;
    case StyleProp::BackColor:
        to.backColor = from.backColor;
        to.backColorSet = from.backColorSet;
        break;
    case StyleProp::Locked: to.locked = from.locked; break;
    case StyleProp::MaxTextLength: to.maxTextLength = from.maxTextLength; break;
    case StyleProp::HAlign: to.hAlign = from.hAlign; break;
    case StyleProp::VAlign: to.vAlign = from.vAlign; break;
    case StyleProp::ButtonCaption: to.buttonCaption = from.buttonCaption; break;
    case StyleProp::CheckCaption: to.checkCaption = from.checkCaption; break;
    case StyleProp::NumberMin: to.numberMin = from.numberMin; break;
    case StyleProp::NumberMax: to.numberMax = from.numberMax; break;
    case StyleProp::NumberDecimals: to.numberDecimals = from.numberDecimals; break;
    case StyleProp::FontName: to.fontName = from.fontName; break;
    case StyleProp::FontSize: to.fontSize = from.fontSize; break;
    case StyleProp::FontBold: to.fontBold = from.fontBold; break;
    case StyleProp::ShrinkToFit: to.shrinkToFit = from.shrinkToFit; break;
    case StyleProp::BorderLeft: to.left = from.left; break;
    case StyleProp::BorderRight: to.right = from.right; break;
    case StyleProp::BorderTop: to.top = from.top; break;
    case StyleProp::BorderBottom: to.bottom = from.bottom; break;
    case StyleProp::Count: break;
    }
}

CellFormat DefaultFormat()
{
    CellFormat f;
    f.fontName = QStringLiteral("Arial");
    return f;
}

CellFormat DefaultHeaderFormat()
{
    CellFormat f = DefaultFormat();
    f.cellType = CellStaticText;
    f.hAlign = AlignHCenter;
    f.vAlign = AlignVCenter;
    f.locked = true;
    return f;
}

QString ColumnLetters(int col)
{
    QString s;
    for (int n = col; n > 0; n = (n - 1) / 26)
        s.prepend(QChar('A' + (n - 1) % 26));
    return s;
}

} // namespace

bool StyleLayer::Empty() const
{
    return std::all_of(seq.begin(), seq.end(), [](uint32_t s) { return s == 0; });
}

const GridCell *GridSheet::CellAt(int col, int row) const
{
    if (col == kHeader && row == kHeader)
        return &m_cornerCell;
    if (row == kHeader)
        return col >= 1 && col <= static_cast<int>(m_columnHeaderCells.size()) ? &m_columnHeaderCells[col - 1]
                                                                               : nullptr;
    if (col == kHeader)
        return row >= 1 && row <= static_cast<int>(m_rowHeaderCells.size()) ? &m_rowHeaderCells[row - 1] : nullptr;
    if (row < 1 || row > static_cast<int>(m_rows.size()))
        return nullptr;
    const Row &r = m_rows[row - 1];
    if (col < 1 || col > static_cast<int>(r.cells.size()))
        return nullptr;
    return &r.cells[col - 1];
}

GridCell *GridSheet::CellFor(int col, int row)
{
    if (col == kHeader && row == kHeader)
        return &m_cornerCell;
    if (row == kHeader) {
        if (static_cast<int>(m_columnHeaderCells.size()) < col)
            m_columnHeaderCells.resize(col);
        return &m_columnHeaderCells[col - 1];
    }
    if (col == kHeader) {
        if (static_cast<int>(m_rowHeaderCells.size()) < row)
            m_rowHeaderCells.resize(row);
        return &m_rowHeaderCells[row - 1];
    }
    if (static_cast<int>(m_rows.size()) < row)
        m_rows.resize(row);
    Row &r = m_rows[row - 1];
    if (static_cast<int>(r.cells.size()) < col)
        r.cells.resize(col);
    return &r.cells[col - 1];
}

QString GridSheet::Text(int col, int row) const
{
    const GridCell *c = CellAt(col, row);
    return c ? c->text : QString();
}

bool GridSheet::HasText(int col, int row) const
{
    const GridCell *c = CellAt(col, row);
    return c && !c->text.isEmpty();
}

QString GridSheet::ToolTip(int col, int row) const
{
    const GridCell *c = CellAt(col, row);
    return c ? c->toolTip : QString();
}

QString GridSheet::HeaderLabel(int col, int row) const
{
    const QString t = Text(col, row);
    if (!t.isEmpty() || (col == kHeader && row == kHeader))
        return t;
    return row == kHeader ? ColumnLetters(col) : QString::number(row);
}

void GridSheet::ResolveInto(CellFormat &out, std::array<uint32_t, kPropCount> &best, const StyleLayer *layer) const
{
    if (!layer)
        return;
    for (int i = 0; i < kPropCount; ++i) {
        if (layer->seq[i] > best[i]) {
            best[i] = layer->seq[i];
            CopyValue(out, layer->values, static_cast<StyleProp>(i));
        }
    }
}

CellFormat GridSheet::Format(int col, int row) const
{
    std::array<uint32_t, kPropCount> best{};
    const GridCell *cell = CellAt(col, row);
    if (col == kHeader || row == kHeader) {
        CellFormat f = DefaultHeaderFormat();
        ResolveInto(f, best, row == kHeader ? m_columnHeaderRowStyle.get() : m_rowHeaderColumnStyle.get());
        ResolveInto(f, best, cell ? cell->style.get() : nullptr);
        return f;
    }
    CellFormat f = DefaultFormat();
    ResolveInto(f, best, m_sheetStyle.get());
    if (col >= 1 && col <= static_cast<int>(m_columnStyles.size()))
        ResolveInto(f, best, m_columnStyles[col - 1].get());
    if (row >= 1 && row <= static_cast<int>(m_rows.size()))
        ResolveInto(f, best, m_rows[row - 1].style.get());
    ResolveInto(f, best, cell ? cell->style.get() : nullptr);
    return f;
}

void GridSheet::Apply(std::shared_ptr<const StyleLayer> &layer, StyleProp prop, const CellFormat &value, uint32_t seq)
{
    auto fresh = layer ? std::make_shared<StyleLayer>(*layer) : std::make_shared<StyleLayer>();
    fresh->seq[static_cast<int>(prop)] = seq;
    CopyValue(fresh->values, value, prop);
    layer = std::move(fresh);
}

void GridSheet::SetProperty(int col, int row, StyleProp prop, const CellFormat &value)
{
    const uint32_t seq = m_nextSeq++;
    if (row == kHeader || col == kHeader) {
        if (row == kHeader && col == kAll)
            Apply(m_columnHeaderRowStyle, prop, value, seq);
        else if (col == kHeader && row == kAll)
            Apply(m_rowHeaderColumnStyle, prop, value, seq);
        else
            Apply(CellFor(col, row)->style, prop, value, seq);
        return;
    }
    if (col == kAll && row == kAll) {
        Apply(m_sheetStyle, prop, value, seq);
    } else if (row == kAll) {
        if (static_cast<int>(m_columnStyles.size()) < col)
            m_columnStyles.resize(col);
        Apply(m_columnStyles[col - 1], prop, value, seq);
    } else if (col == kAll) {
        if (static_cast<int>(m_rows.size()) < row)
            m_rows.resize(row);
        Apply(m_rows[row - 1].style, prop, value, seq);
    } else {
        Apply(CellFor(col, row)->style, prop, value, seq);
    }
}

void GridSheet::SetText(int col, int row, const QString &text)
{
    if (text.isEmpty() && !CellAt(col, row))
        return;
    CellFor(col, row)->text = text;
}

void GridSheet::SetToolTip(int col, int row, const QString &toolTip)
{
    if (toolTip.isEmpty() && !CellAt(col, row))
        return;
    CellFor(col, row)->toolTip = toolTip;
}

void GridSheet::SetColumnCount(int n)
{
    n = std::clamp(n, 0, kMaxColumns);
    m_columnCount = n;
    for (Row &r : m_rows)
        if (static_cast<int>(r.cells.size()) > n)
            r.cells.resize(n);
    if (static_cast<int>(m_columnStyles.size()) > n)
        m_columnStyles.resize(n);
    if (static_cast<int>(m_columnHeaderCells.size()) > n)
        m_columnHeaderCells.resize(n);
    if (static_cast<int>(m_columnWidths.size()) > n)
        m_columnWidths.resize(n);
    m_spans.removeIf([n](const CellSpan &s) { return s.col + s.colCount - 1 > n; });
}

void GridSheet::SetRowCount(int n)
{
    n = std::clamp(n, 0, kMaxRows);
    if (n < m_rowCount)
        ++m_rowHeightsRevision;
    m_rowCount = n;
    if (static_cast<int>(m_rows.size()) > n)
        m_rows.resize(n);
    if (static_cast<int>(m_rowHeaderCells.size()) > n)
        m_rowHeaderCells.resize(n);
    if (static_cast<int>(m_rowHeights.size()) > n)
        m_rowHeights.resize(n);
    m_spans.removeIf([n](const CellSpan &s) { return s.row + s.rowCount - 1 > n; });
}

void GridSheet::ClearBlock(int col1, int row1, int col2, int row2, bool dataOnly)
{
    const bool allCols = col1 == kAll || col2 == kAll;
    const bool allRows = row1 == kAll || row2 == kAll;
    const int c1 = allCols ? 1 : col1, c2 = allCols ? m_columnCount : col2;
    const int r1 = allRows ? 1 : row1, r2 = allRows ? m_rowCount : row2;
    const int lastRow = std::min(r2, static_cast<int>(m_rows.size()));
    for (int r = r1; r <= lastRow; ++r) {
        Row &row = m_rows[r - 1];
        const int lastCol = std::min(c2, static_cast<int>(row.cells.size()));
        for (int c = c1; c <= lastCol; ++c) {
            row.cells[c - 1].text.clear();
            row.cells[c - 1].toolTip.clear();
            if (!dataOnly)
                row.cells[c - 1].style.reset();
        }
        if (!dataOnly && allCols)
            row.style.reset();
    }
    if (dataOnly)
        return;
    if (allRows)
        for (int c = c1; c <= std::min(c2, static_cast<int>(m_columnStyles.size())); ++c)
            m_columnStyles[c - 1].reset();
    if (allRows && allCols)
        m_sheetStyle.reset();
}

void GridSheet::CopyRows(int firstRow, int lastRow, int destRow)
{
    ++m_rowHeightsRevision;
    const int count = lastRow - firstRow + 1;
    std::vector<Row> copy;
    copy.reserve(count);
    for (int r = firstRow; r <= lastRow; ++r)
        copy.push_back(r <= static_cast<int>(m_rows.size()) ? m_rows[r - 1] : Row{});
    std::vector<std::optional<double>> heights;
    for (int r = firstRow; r <= lastRow; ++r)
        heights.push_back(RowHeightSet(r) ? std::optional<double>(RowHeight(r)) : std::nullopt);
    QList<CellSpan> joins;
    for (const CellSpan &s : std::as_const(m_spans))
        if (s.row >= firstRow && s.row + s.rowCount - 1 <= lastRow)
            joins.append(CellSpan{s.col, s.row - firstRow + destRow, s.colCount, s.rowCount});

    if (destRow + count - 1 > m_rowCount)
        SetRowCount(destRow + count - 1);
    const int need = std::min(destRow + count - 1, m_rowCount);
    if (static_cast<int>(m_rows.size()) < need)
        m_rows.resize(need);
    for (int i = 0; i < count && destRow + i <= m_rowCount; ++i) {
        m_rows[destRow + i - 1] = copy[i];
        if (heights[i])
            SetRowHeight(destRow + i, *heights[i]);
        else if (destRow + i <= static_cast<int>(m_rowHeights.size()))
            m_rowHeights[destRow + i - 1] = -1.0;
    }
    for (const CellSpan &s : joins)
        Join(s);
}

bool GridSheet::Join(const CellSpan &span)
{
    if (span.colCount < 1 || span.rowCount < 1 || span.col < 1 || span.row < 1 ||
        qint64(span.col) + span.colCount - 1 > m_columnCount || qint64(span.row) + span.rowCount - 1 > m_rowCount)
        return false;
    m_spans.removeIf([&](const CellSpan &s) { return s.Intersects(span); });
    if (span.colCount > 1 || span.rowCount > 1)
        m_spans.append(span);
    return true;
}

std::optional<CellSpan> GridSheet::SpanAt(int col, int row) const
{
    for (const CellSpan &s : m_spans)
        if (s.Contains(col, row))
            return s;
    return std::nullopt;
}

double GridSheet::ColumnWidth(int col) const
{
    if (col == kHeader)
        return m_headerColumnWidth;
    if (col >= 1 && col <= static_cast<int>(m_columnWidths.size()) && m_columnWidths[col - 1] >= 0)
        return m_columnWidths[col - 1];
    return m_defaultColumnWidth;
}

double GridSheet::RowHeight(int row) const
{
    if (row == kHeader)
        return m_headerRowHeight;
    if (row >= 1 && row <= static_cast<int>(m_rowHeights.size()) && m_rowHeights[row - 1] >= 0)
        return m_rowHeights[row - 1];
    return m_defaultRowHeight;
}

bool GridSheet::ColumnWidthSet(int col) const
{
    return col >= 1 && col <= static_cast<int>(m_columnWidths.size()) && m_columnWidths[col - 1] >= 0;
}

bool GridSheet::RowHeightSet(int row) const
{
    return row >= 1 && row <= static_cast<int>(m_rowHeights.size()) && m_rowHeights[row - 1] >= 0;
}

void GridSheet::SetColumnWidth(int col, double width)
{
    width = std::max(0.0, width);
    if (col == kHeader) {
        m_headerColumnWidth = width;
    } else if (col == kAll) {
        m_defaultColumnWidth = width;
        m_columnWidths.clear();
    } else {
        if (static_cast<int>(m_columnWidths.size()) < col)
            m_columnWidths.resize(col, -1.0);
        m_columnWidths[col - 1] = width;
    }
}

void GridSheet::SetRowHeight(int row, double height)
{
    height = std::max(0.0, height);
    ++m_rowHeightsRevision;
    if (row == kHeader) {
        m_headerRowHeight = height;
    } else if (row == kAll) {
        m_defaultRowHeight = height;
        m_rowHeights.clear();
    } else {
        if (static_cast<int>(m_rowHeights.size()) < row)
            m_rowHeights.resize(row, -1.0);
        m_rowHeights[row - 1] = height;
    }
}

} // namespace grid
