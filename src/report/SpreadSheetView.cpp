#include "SpreadSheetView.h"

#include <QDoubleValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <set>

using grid::CellFormat;
using grid::GridSheet;
using grid::kHeader;

namespace {

QColor ToColor(int rgb)
{
    return QColor(grid::RedOf(rgb), grid::GreenOf(rgb), grid::BlueOf(rgb));
}

// Colours of a grid whose appearance was never set.
constexpr int kDefaultGridLine = grid::Rgb(0xC0, 0xC0, 0xC0);
constexpr int kDefaultHeaderBack = grid::Rgb(0xF0, 0xF0, 0xF0);
constexpr int kDefaultEmptyArea = grid::Rgb(0xE0, 0xE0, 0xE0);
constexpr int kDefaultButtonFace = grid::Rgb(0xE1, 0xE1, 0xE1);
constexpr int kDefaultButtonBorder = grid::Rgb(0xA0, 0xA0, 0xA0);
constexpr int kDefaultSelection = grid::Rgb(0x33, 0x99, 0xFF);
constexpr int kCheckBoxPixels = 13;
constexpr int kTextMargin = 3;

Qt::Alignment ToAlignment(const CellFormat &f)
{
    Qt::Alignment a;
    a |= f.hAlign == grid::AlignRight     ? Qt::AlignRight
         : f.hAlign == grid::AlignHCenter ? Qt::AlignHCenter
                                          : Qt::AlignLeft;
    a |= f.vAlign == grid::AlignTop       ? Qt::AlignTop
         : f.vAlign == grid::AlignVCenter ? Qt::AlignVCenter
                                          : Qt::AlignBottom;
    return a;
}

Qt::PenStyle ToPenStyle(int style)
{
    switch (style) {
    case grid::BorderDash: return Qt::DashLine;
    case grid::BorderDot: return Qt::DotLine;
    case grid::BorderDashDot: return Qt::DashDotLine;
    default: return Qt::SolidLine;
    }
}

} // namespace

SpreadSheetView::SpreadSheetView(CSpreadSheet *model, QWidget *parent) : QAbstractScrollArea(parent), m_model(model)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    verticalScrollBar()->setFixedWidth(CSpreadSheet::kScrollBarPixels);
    horizontalScrollBar()->setFixedHeight(CSpreadSheet::kScrollBarPixels);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    model->AttachView(this);
    connect(model, &CSpreadSheet::CellsChanged, this, &SpreadSheetView::OnCellsChanged);
    connect(model, &CSpreadSheet::LayoutChanged, this, &SpreadSheetView::OnLayoutChanged);
    connect(model, &CSpreadSheet::ShownSheetChanged, this, [this] {
        CancelEditor();
        m_currentCol = m_currentRow = 0;
        RebuildLayout();
    });
    connect(model, &CSpreadSheet::DisplayUpdatesChanged, this, [this](bool on) {
        viewport()->setUpdatesEnabled(on);
        if (on)
            RebuildLayout();
    });
    connect(model, &CSpreadSheet::ButtonClicked, this, &SpreadSheetView::ButtonClicked);
    connect(model, &QObject::destroyed, this, [this] {
        // The model is half gone already: forget it and show an empty grid.
        m_model = nullptr;
        CancelEditor();
        m_colEdges.clear();
        m_rowEdges.clear();
        m_currentCol = m_currentRow = m_pressedCol = m_pressedRow = 0;
        viewport()->update();
    });
    viewport()->setUpdatesEnabled(model->GetDisplayUpdates());
    RebuildLayout();
}

SpreadSheetView::~SpreadSheetView()
{
    if (m_model && m_model->View() == this)
        m_model->AttachView(nullptr);
}

void SpreadSheetView::SetFollowLastRow(bool follow)
{
    // The last rows added may still wait for their queued layout: it is done now, while still following,
    // so that the last row ends in sight and the scroll bar's range counts it.
    if (!follow && m_followLastRow)
        RebuildLayout();
    m_followLastRow = follow;
    if (follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

// ---------------------------------------------------------------------------------------------------------
// Geometry

double SpreadSheetView::PixelsPerWidthUnit() const
{
    return logicalDpiX() * CSpreadSheet::kTwipsPerWidthUnit / 1440.0;
}

double SpreadSheetView::PixelsPerHeightUnit() const
{
    return logicalDpiY() * CSpreadSheet::kTwipsPerHeightUnit / 1440.0;
}

int SpreadSheetView::HeaderWidth() const
{
    const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr;
    return s && s->RowHeadersShown() ? static_cast<int>(std::lround(s->ColumnWidth(kHeader) * PixelsPerWidthUnit()))
                                     : 0;
}

int SpreadSheetView::HeaderHeight() const
{
    const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr;
    return s && s->ColumnHeadersShown() ? static_cast<int>(std::lround(s->RowHeight(kHeader) * PixelsPerHeightUnit()))
                                        : 0;
}

void SpreadSheetView::ComputeEdges() const
{
    m_edgesDirty = false;
    m_colEdges.clear();
    const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr;
    if (!s) {
        m_rowEdges.clear();
        m_edgeSheet = nullptr;
        return;
    }
    // Edges come from the running sum, so rounding never adds up over many columns or rows.
    double sum = 0;
    const double ux = PixelsPerWidthUnit(), uy = PixelsPerHeightUnit();
    m_colEdges.reserve(s->ColumnCount());
    for (int c = 1; c <= s->ColumnCount(); ++c) {
        sum += s->ColumnWidth(c);
        m_colEdges.push_back(static_cast<int>(std::lround(sum * ux)));
    }
    const bool onlyAdded = s == m_edgeSheet && s->RowHeightsRevision() == m_edgeRevision && uy == m_edgeUnitY &&
                           s->RowCount() >= static_cast<int>(m_rowEdges.size());
    if (!onlyAdded) {
        m_rowEdges.clear();
        m_rowSum = 0;
    }
    m_edgeSheet = s;
    m_edgeRevision = s->RowHeightsRevision();
    m_edgeUnitY = uy;
    for (int r = static_cast<int>(m_rowEdges.size()) + 1; r <= s->RowCount(); ++r) {
        m_rowSum += s->RowHeight(r);
        m_rowEdges.push_back(static_cast<int>(std::lround(m_rowSum * uy)));
    }
}

void SpreadSheetView::RebuildLayout()
{
    m_rebuildQueued = false;
    ComputeEdges();
    if (const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr) {
        const int bars = s->ScrollBars();
        // A scroll bar that is switched on stays on, so the layouts that fit columns beside it can count on it.
        setHorizontalScrollBarPolicy(bars == 1 || bars == 3 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(bars == 2 || bars == 3 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        if (m_currentCol > s->ColumnCount() || m_currentRow > s->RowCount())
            m_currentCol = m_currentRow = 0;
    }
    const int contentW = m_colEdges.empty() ? 0 : m_colEdges.back();
    const int contentH = m_rowEdges.empty() ? 0 : m_rowEdges.back();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, contentW - (view.width() - HeaderWidth())));
    horizontalScrollBar()->setPageStep(std::max(1, view.width() - HeaderWidth()));
    verticalScrollBar()->setRange(0, std::max(0, contentH - (view.height() - HeaderHeight())));
    verticalScrollBar()->setPageStep(std::max(1, view.height() - HeaderHeight()));
    verticalScrollBar()->setSingleStep(
        std::max(1, static_cast<int>(GridSheet::kDefaultRowHeight * PixelsPerHeightUnit())));
    if (m_followLastRow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    if (m_editor)
        m_editor->setGeometry(CellRect(m_editCol, m_editRow));
    viewport()->update();
}

int SpreadSheetView::ColumnX(int col) const
{
    return col <= 1 ? 0 : m_colEdges[col - 2];
}

int SpreadSheetView::RowY(int row) const
{
    return row <= 1 ? 0 : m_rowEdges[row - 2];
}

int SpreadSheetView::ColumnAtX(int x) const
{
    const auto it = std::upper_bound(m_colEdges.begin(), m_colEdges.end(), x);
    return it == m_colEdges.end() ? 0 : static_cast<int>(it - m_colEdges.begin()) + 1;
}

int SpreadSheetView::RowAtY(int y) const
{
    const auto it = std::upper_bound(m_rowEdges.begin(), m_rowEdges.end(), y);
    return it == m_rowEdges.end() ? 0 : static_cast<int>(it - m_rowEdges.begin()) + 1;
}

QRect SpreadSheetView::CellRect(int col, int row) const
{
    EnsureEdges();
    if (col < 1 || row < 1 || col > static_cast<int>(m_colEdges.size()) || row > static_cast<int>(m_rowEdges.size()))
        return {};
    int lastCol = col, lastRow = row;
    if (const GridSheet *s = m_model->Sheet(m_model->GetShownSheet())) {
        if (const auto span = s->SpanAt(col, row)) {
            col = span->col;
            row = span->row;
            lastCol = span->col + span->colCount - 1;
            lastRow = span->row + span->rowCount - 1;
        }
    }
    const int x = HeaderWidth() + ColumnX(col) - horizontalScrollBar()->value();
    const int y = HeaderHeight() + RowY(row) - verticalScrollBar()->value();
    return QRect(x, y, m_colEdges[lastCol - 1] - ColumnX(col), m_rowEdges[lastRow - 1] - RowY(row));
}

bool SpreadSheetView::CellAt(const QPoint &pos, int *col, int *row) const
{
    EnsureEdges();
    if (pos.x() < HeaderWidth() || pos.y() < HeaderHeight())
        return false;
    const int c = ColumnAtX(pos.x() - HeaderWidth() + horizontalScrollBar()->value());
    const int r = RowAtY(pos.y() - HeaderHeight() + verticalScrollBar()->value());
    if (c == 0 || r == 0)
        return false;
    *col = c;
    *row = r;
    if (const GridSheet *s = m_model->Sheet(m_model->GetShownSheet()))
        if (const auto span = s->SpanAt(c, r)) {
            *col = span->col;
            *row = span->row;
        }
    return true;
}

QSize SpreadSheetView::sizeHint() const
{
    EnsureEdges();
    const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr;
    if (!s)
        return QAbstractScrollArea::sizeHint();
    const int cols = std::min<int>(s->VisibleColumns() > 0 ? s->VisibleColumns() : 5, m_colEdges.size());
    const int rows = std::min<int>(s->VisibleRows() > 0 ? s->VisibleRows() : 10, m_rowEdges.size());
    return QSize(HeaderWidth() + (cols > 0 ? m_colEdges[cols - 1] : 0) + 2,
                 HeaderHeight() + (rows > 0 ? m_rowEdges[rows - 1] : 0) + 2);
}

// ---------------------------------------------------------------------------------------------------------
// Model notifications

void SpreadSheetView::OnCellsChanged(int sheet, int col1, int row1, int col2, int row2)
{
    if (!m_model || sheet != m_model->GetShownSheet())
        return;
    EnsureEdges();
    const GridSheet *s = m_model->Sheet(sheet);
    // A join reaching into the block repaints as a whole.
    for (const grid::CellSpan &sp : s->Spans()) {
        if (sp.Intersects(grid::CellSpan{col1, row1, col2 - col1 + 1, row2 - row1 + 1})) {
            col1 = std::min(col1, sp.col);
            row1 = std::min(row1, sp.row);
            col2 = std::max(col2, sp.col + sp.colCount - 1);
            row2 = std::max(row2, sp.row + sp.rowCount - 1);
        }
    }
    col2 = std::min<int>(col2, m_colEdges.size());
    row2 = std::min<int>(row2, m_rowEdges.size());
    if (col1 < 1 || row1 < 1 || col1 > col2 || row1 > row2)
        return;
    const int x = HeaderWidth() + ColumnX(col1) - horizontalScrollBar()->value();
    const int y = HeaderHeight() + RowY(row1) - verticalScrollBar()->value();
    const QRect block(x, y, m_colEdges[col2 - 1] - ColumnX(col1), m_rowEdges[row2 - 1] - RowY(row1));
    // One extra pixel each way: borders are drawn on the cells' edges.
    const QRect dirty = block.adjusted(-1, -1, 1, 1).intersected(viewport()->rect());
    if (!dirty.isEmpty())
        viewport()->update(dirty);
}

void SpreadSheetView::OnLayoutChanged(int sheet)
{
    if (!m_model || sheet != m_model->GetShownSheet())
        return;
    m_edgesDirty = true;
    if (!m_rebuildQueued) {
        m_rebuildQueued = true;
        QMetaObject::invokeMethod(this, &SpreadSheetView::RebuildLayout, Qt::QueuedConnection);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Painting

void SpreadSheetView::PaintCell(QPainter &p, const GridSheet &sheet, int col, int row, const QRect &rect)
{
    const bool header = col == kHeader || row == kHeader;
    const CellFormat f = sheet.Format(col, row);
    const QRect inner = rect.adjusted(0, 0, -1, -1);
    int back = f.backColorSet ? f.backColor : grid::Rgb(255, 255, 255);
    int textColor = f.textColor;
    if (header) {
        back = f.backColorSet ? f.backColor : sheet.Property(grid::PropHeaderBackColor, kDefaultHeaderBack);
        textColor = sheet.Property(grid::PropHeaderTextColor, f.textColor);
    }
    p.fillRect(rect, ToColor(back));

    QFont font(f.fontName.isEmpty() ? QStringLiteral("Arial") : f.fontName);
    font.setPointSizeF(f.fontSize);
    font.setBold(f.fontBold);
    p.setFont(font);
    const QRect textRect = inner.adjusted(kTextMargin, 1, -kTextMargin, -1);
    const QString text = header ? sheet.HeaderLabel(col, row) : sheet.Text(col, row);

    if (!header && f.cellType == grid::CellButton) {
        const bool pressed = col == m_pressedCol && row == m_pressedRow;
        const QRect face = inner.adjusted(1, 1, -1, -1);
        p.fillRect(face, ToColor(pressed ? sheet.Property(grid::PropButtonHighlightColor, kDefaultSelection)
                                         : sheet.Property(grid::PropButtonFaceColor, kDefaultButtonFace)));
        p.setPen(ToColor(sheet.Property(grid::PropButtonBorderColor, kDefaultButtonBorder)));
        p.drawRect(face.adjusted(0, 0, -1, -1));
        p.setPen(ToColor(sheet.Property(grid::PropButtonTextColor, f.textColor)));
        p.drawText(face, Qt::AlignCenter, text.isEmpty() ? f.buttonCaption : text);
    } else if (!header && f.cellType == grid::CellCheckBox) {
        const bool ticked = text.trimmed().toInt() != 0;
        const QFontMetrics fm(font);
        const int captionWidth = f.checkCaption.isEmpty() ? 0 : fm.horizontalAdvance(f.checkCaption) + 4;
        const int total = kCheckBoxPixels + captionWidth;
        int x = textRect.left();
        if (f.hAlign == grid::AlignHCenter)
            x = textRect.left() + (textRect.width() - total) / 2;
        else if (f.hAlign == grid::AlignRight)
            x = textRect.right() - total;
        int y = textRect.bottom() - kCheckBoxPixels;
        if (f.vAlign == grid::AlignVCenter)
            y = textRect.top() + (textRect.height() - kCheckBoxPixels) / 2;
        else if (f.vAlign == grid::AlignTop)
            y = textRect.top();
        const QRect box(x, y, kCheckBoxPixels, kCheckBoxPixels);
        p.setPen(ToColor(textColor));
        p.drawRect(box.adjusted(0, 0, -1, -1));
        if (ticked) {
            QPen pen(ToColor(textColor), 2);
            p.setPen(pen);
            p.drawPolyline(QPolygon({QPoint(box.left() + 3, box.center().y()), QPoint(box.left() + 5, box.bottom() - 3),
                                     QPoint(box.right() - 2, box.top() + 3)}));
            p.setPen(ToColor(textColor));
        }
        if (captionWidth)
            p.drawText(QRect(box.right() + 4, textRect.top(), captionWidth, textRect.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, f.checkCaption);
    } else {
        // A text wider than its cell is cut at the cell's edges, never drawn over its neighbours.
        p.save();
        p.setClipRect(inner, Qt::IntersectClip);
        p.setPen(ToColor(textColor));
        p.drawText(textRect, ToAlignment(f) | Qt::TextSingleLine, text);
        p.restore();
    }

    // Grid lines on the right and bottom edge, then the cell's own borders over them.
    p.setPen(
        ToColor(sheet.Property(header ? grid::PropHeaderGridLineColor : grid::PropGridLineColor, kDefaultGridLine)));
    p.drawLine(inner.topRight(), inner.bottomRight());
    p.drawLine(inner.bottomLeft(), inner.bottomRight());
    const std::pair<const grid::BorderLine *, QLine> edges[] = {
        {&f.left, QLine(inner.topLeft(), inner.bottomLeft())},
        {&f.right, QLine(inner.topRight(), inner.bottomRight())},
        {&f.top, QLine(inner.topLeft(), inner.topRight())},
        {&f.bottom, QLine(inner.bottomLeft(), inner.bottomRight())}};
    for (const auto &[line, l] : edges) {
        if (line->style == grid::BorderNone)
            continue;
        p.setPen(QPen(ToColor(line->color), 1, ToPenStyle(line->style)));
        p.drawLine(l);
    }
}

void SpreadSheetView::paintEvent(QPaintEvent *event)
{
    EnsureEdges();
    QPainter p(viewport());
    const GridSheet *s = m_model ? m_model->Sheet(m_model->GetShownSheet()) : nullptr;
    const QRect area = event->rect();
    if (!s) {
        p.fillRect(area, palette().window());
        return;
    }
    p.fillRect(area, ToColor(s->Property(grid::PropEmptyAreaColor, kDefaultEmptyArea)));
    const int hw = HeaderWidth(), hh = HeaderHeight();
    const int sx = horizontalScrollBar()->value(), sy = verticalScrollBar()->value();
    const int c1 = std::max(1, ColumnAtX(std::max(0, area.left() - hw + sx)));
    int c2 = ColumnAtX(area.right() - hw + sx);
    c2 = c2 == 0 ? static_cast<int>(m_colEdges.size()) : c2;
    const int r1 = std::max(1, RowAtY(std::max(0, area.top() - hh + sy)));
    int r2 = RowAtY(area.bottom() - hh + sy);
    r2 = r2 == 0 ? static_cast<int>(m_rowEdges.size()) : r2;
    const bool anyCol = !m_colEdges.empty() && ColumnAtX(std::max(0, area.left() - hw + sx)) != 0;
    const bool anyRow = !m_rowEdges.empty() && RowAtY(std::max(0, area.top() - hh + sy)) != 0;

    p.save();
    p.setClipRect(QRect(hw, hh, viewport()->width() - hw, viewport()->height() - hh).intersected(area));
    if (anyCol && anyRow) {
        const grid::CellSpan visible{c1, r1, c2 - c1 + 1, r2 - r1 + 1};
        for (const grid::CellSpan &sp : s->Spans())
            if (sp.Intersects(visible))
                PaintCell(p, *s, sp.col, sp.row, CellRect(sp.col, sp.row));
        for (int r = r1; r <= r2; ++r)
            for (int c = c1; c <= c2; ++c)
                if (!s->SpanAt(c, r))
                    PaintCell(p, *s, c, r, CellRect(c, r));
        if (m_currentCol >= 1 && m_currentRow >= 1 && hasFocus()) {
            p.setPen(QPen(ToColor(s->Property(grid::PropSelectionColor, kDefaultSelection)), 2));
            p.drawRect(CellRect(m_currentCol, m_currentRow).adjusted(1, 1, -1, -1));
        }
    }
    p.restore();

    // Headers over the scrolled cells.
    if (hh > 0 && anyCol) {
        p.save();
        p.setClipRect(QRect(hw, 0, viewport()->width() - hw, hh));
        for (int c = c1; c <= c2; ++c)
            PaintCell(p, *s, c, kHeader, QRect(hw + ColumnX(c) - sx, 0, m_colEdges[c - 1] - ColumnX(c), hh));
        p.restore();
    }
    if (hw > 0 && anyRow) {
        p.save();
        p.setClipRect(QRect(0, hh, hw, viewport()->height() - hh));
        for (int r = r1; r <= r2; ++r)
            PaintCell(p, *s, kHeader, r, QRect(0, hh + RowY(r) - sy, hw, m_rowEdges[r - 1] - RowY(r)));
        p.restore();
    }
    if (hw > 0 && hh > 0)
        PaintCell(p, *s, kHeader, kHeader, QRect(0, 0, hw, hh));
}

void SpreadSheetView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    RebuildLayout();
}

void SpreadSheetView::scrollContentsBy(int, int)
{
    if (m_editor)
        m_editor->setGeometry(CellRect(m_editCol, m_editRow));
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------------------
// The operator

void SpreadSheetView::Activate(int col, int row)
{
    const QRect old = CellRect(m_currentCol, m_currentRow);
    m_currentCol = col;
    m_currentRow = row;
    viewport()->update(old.adjusted(-1, -1, 1, 1));
    viewport()->update(CellRect(col, row).adjusted(-1, -1, 1, 1));
}

void SpreadSheetView::mousePressEvent(QMouseEvent *event)
{
    int col = 0, row = 0;
    CommitEditor();
    if (!m_model || event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), &col, &row))
        return QAbstractScrollArea::mousePressEvent(event);
    Activate(col, row);
    const int sheet = m_model->GetShownSheet();
    const CellFormat f = m_model->Sheet(sheet)->Format(col, row);
    if (f.cellType == grid::CellCheckBox) {
        m_model->OperatorToggleCheck(sheet, col, row);
    } else if (f.cellType == grid::CellButton && !f.locked) {
        m_pressedCol = col;
        m_pressedRow = row;
        viewport()->update(CellRect(col, row));
    }
}

void SpreadSheetView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pressedCol == 0 || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    const int col = m_pressedCol, row = m_pressedRow;
    m_pressedCol = m_pressedRow = 0;
    viewport()->update(CellRect(col, row));
    int atCol = 0, atRow = 0;
    if (m_model && CellAt(event->position().toPoint(), &atCol, &atRow) && atCol == col && atRow == row)
        m_model->OperatorPressButton(m_model->GetShownSheet(), col, row);
}

void SpreadSheetView::mouseDoubleClickEvent(QMouseEvent *event)
{
    int col = 0, row = 0;
    if (event->button() == Qt::LeftButton && CellAt(event->position().toPoint(), &col, &row) && EditCell(col, row))
        return;
    mousePressEvent(event); // a double click on a check box ticks twice, as two clicks do
}

void SpreadSheetView::keyPressEvent(QKeyEvent *event)
{
    if (!m_model)
        return QAbstractScrollArea::keyPressEvent(event);
    const int sheet = m_model->GetShownSheet();
    const GridSheet *s = m_model->Sheet(sheet);
    int col = std::max(1, m_currentCol), row = std::max(1, m_currentRow);
    switch (event->key()) {
    case Qt::Key_Left: col = std::max(1, col - 1); break;
    case Qt::Key_Right: col = std::min(s->ColumnCount(), col + 1); break;
    case Qt::Key_Up: row = std::max(1, row - 1); break;
    case Qt::Key_Down: row = std::min(s->RowCount(), row + 1); break;
    case Qt::Key_Space:
        if (!m_model->OperatorToggleCheck(sheet, m_currentCol, m_currentRow))
            m_model->OperatorPressButton(sheet, m_currentCol, m_currentRow);
        return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter: EditCell(m_currentCol, m_currentRow); return;
    default:
        // Typing over an editable cell starts the editor with what was typed.
        if (!event->text().isEmpty() && event->text().at(0).isPrint() && EditCell(m_currentCol, m_currentRow)) {
            m_editor->setText(event->text());
            return;
        }
        return QAbstractScrollArea::keyPressEvent(event);
    }
    if (s->Contains(col, row))
        Activate(col, row);
}

bool SpreadSheetView::EditCell(int col, int row)
{
    if (!m_model || !m_model->IsEditableByOperator(m_model->GetShownSheet(), col, row))
        return false;
    CommitEditor();
    const CellFormat f = m_model->Sheet(m_model->GetShownSheet())->Format(col, row);
    m_editCol = col;
    m_editRow = row;
    m_editor = new QLineEdit(viewport());
    m_editor->setFrame(false);
    QFont font(f.fontName);
    font.setPointSizeF(f.fontSize);
    m_editor->setFont(font);
    m_editor->setAlignment(ToAlignment(f) & Qt::AlignHorizontal_Mask);
    if (f.cellType == grid::CellNumber) {
        auto *validator = new QDoubleValidator(f.numberMin, f.numberMax, std::clamp(f.numberDecimals, 0, 15), m_editor);
        validator->setNotation(QDoubleValidator::StandardNotation);
        validator->setLocale(QLocale::c());
        m_editor->setValidator(validator);
    } else if (f.maxTextLength > 0) {
        m_editor->setMaxLength(f.maxTextLength);
    }
    m_editor->setText(m_model->Sheet(m_model->GetShownSheet())->Text(col, row));
    m_editor->setGeometry(CellRect(col, row));
    m_editor->installEventFilter(this);
    connect(m_editor, &QLineEdit::returnPressed, this, [this] {
        CommitEditor();
        setFocus();
    });
    m_editor->show();
    m_editor->setFocus();
    Activate(col, row);
    return true;
}

bool SpreadSheetView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        CancelEditor();
        setFocus();
        return true;
    }
    if (watched == m_editor && event->type() == QEvent::FocusOut)
        CommitEditor();
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool SpreadSheetView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip || !m_model)
        return QAbstractScrollArea::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    int col = 0, row = 0;
    const grid::GridSheet *sheet = m_model->Sheet(m_model->GetShownSheet());
    const QString tip = sheet && CellAt(help->pos(), &col, &row) ? sheet->ToolTip(col, row) : QString();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), tip, viewport(), CellRect(col, row));
    }
    return true;
}

void SpreadSheetView::CommitEditor()
{
    if (!m_editor)
        return;
    QLineEdit *editor = m_editor;
    m_editor = nullptr; // the model's change notification must not see a half-closed editor
    if (m_model)
        m_model->OperatorSetText(m_model->GetShownSheet(), m_editCol, m_editRow, editor->text());
    editor->deleteLater();
    editor->hide();
}

void SpreadSheetView::CancelEditor()
{
    if (!m_editor)
        return;
    QLineEdit *editor = m_editor;
    m_editor = nullptr; // hiding moves the focus away, which must not commit
    editor->hide();
    editor->deleteLater();
}
