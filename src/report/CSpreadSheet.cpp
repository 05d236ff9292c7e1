#include "CSpreadSheet.h"

#include "XlsWorkbook.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

using grid::CellFormat;
using grid::GridSheet;
using grid::kAll;
using grid::kHeader;
using grid::StyleProp;

namespace {

// A grid that was never sized has this many columns and rows, so that column and row settings made before
// the caller sets the counts have somewhere to go.
constexpr int kInitialColumns = 26;
constexpr int kInitialRows = 100;

// An inclusive block of data cells after -1 has been resolved and the block clipped to the sheet.
struct Block {
    int c1, r1, c2, r2;
    bool Empty() const { return c1 > c2 || r1 > r2; }
};

Block Clip(const GridSheet &s, int col1, int row1, int col2, int row2)
{
    Block b{col1, row1, col2, row2};
    if (col1 == kAll || col2 == kAll) {
        b.c1 = 1;
        b.c2 = s.ColumnCount();
    }
    if (row1 == kAll || row2 == kAll) {
        b.r1 = 1;
        b.r2 = s.RowCount();
    }
    if (b.c1 > b.c2)
        std::swap(b.c1, b.c2);
    if (b.r1 > b.r2)
        std::swap(b.r1, b.r2);
    b.c1 = std::max(b.c1, 1);
    b.r1 = std::max(b.r1, 1);
    b.c2 = std::min(b.c2, s.ColumnCount());
    b.r2 = std::min(b.r2, s.RowCount());
    return b;
}

bool IndexValid(int index, int count)
{
    return index == kAll || index == kHeader || (index >= 1 && index <= count);
}

} // namespace

CSpreadSheet::CSpreadSheet(QObject *parent) : QObject(parent)
{
    SetSheetCount(1);
}

CSpreadSheet::~CSpreadSheet() = default;

// ---------------------------------------------------------------------------------------------------------
// Addressing and notification

void CSpreadSheet::SetCurrentColumn(int col)
{
    m_col = col;
}

void CSpreadSheet::SetCurrentRow(int row)
{
    m_row = row;
}

bool CSpreadSheet::AddressValid() const
{
    const GridSheet &s = Addressed();
    return IndexValid(m_col, s.ColumnCount()) && IndexValid(m_row, s.RowCount());
}

void CSpreadSheet::NotifyCells(int sheet, int col1, int row1, int col2, int row2)
{
    if (m_displayUpdates)
        emit CellsChanged(sheet, col1, row1, col2, row2);
}

void CSpreadSheet::NotifyLayout(int sheet)
{
    if (m_displayUpdates)
        emit LayoutChanged(sheet);
}

void CSpreadSheet::SetProp(StyleProp prop, const CellFormat &value)
{
    if (!AddressValid())
        return;
    Addressed().SetProperty(m_col, m_row, prop, value);
    if (m_col == kHeader || m_row == kHeader)
        NotifyLayout(m_addressed);
    else
        NotifyCells(m_addressed, m_col == kAll ? 1 : m_col, m_row == kAll ? 1 : m_row,
                    m_col == kAll ? Addressed().ColumnCount() : m_col, m_row == kAll ? Addressed().RowCount() : m_row);
}

CellFormat CSpreadSheet::CurrentFormat() const
{
    if (!AddressValid())
        return CellFormat{};
    // A whole column, row or sheet answers with its first cell.
    return Addressed().Format(m_col == kAll ? 1 : m_col, m_row == kAll ? 1 : m_row);
}

// ---------------------------------------------------------------------------------------------------------
// Texts and values

QString CSpreadSheet::GetCellText() const
{
    if (!AddressValid() || m_col == kAll || m_row == kAll)
        return QString();
    return Addressed().Text(m_col, m_row);
}

void CSpreadSheet::SetCellText(const QString &text)
{
    if (!AddressValid())
        return;
    GridSheet &s = Addressed();
    if (m_col == kHeader || m_row == kHeader) {
        if (m_col == kAll)
            for (int c = 1; c <= s.ColumnCount(); ++c)
                s.SetText(c, kHeader, text);
        else if (m_row == kAll)
            for (int r = 1; r <= s.RowCount(); ++r)
                s.SetText(kHeader, r, text);
        else
            s.SetText(m_col, m_row, text);
        NotifyLayout(m_addressed);
        return;
    }
    const Block b = Clip(s, m_col, m_row, m_col, m_row);
    for (int r = b.r1; r <= b.r2; ++r)
        for (int c = b.c1; c <= b.c2; ++c)
            s.SetText(c, r, text);
    if (!b.Empty())
        NotifyCells(m_addressed, b.c1, b.r1, b.c2, b.r2);
}

bool CSpreadSheet::SetCellTextIfChanged(int col, int row, const QString &text)
{
    SetCurrentColumn(col);
    SetCurrentRow(row);
    if (!AddressValid() || GetCellText() == text)
        return false;
    SetCellText(text);
    return true;
}

QString CSpreadSheet::GetCellToolTip() const
{
    if (!AddressValid() || m_col < 1 || m_row < 1)
        return QString();
    return Addressed().ToolTip(m_col, m_row);
}

void CSpreadSheet::SetCellToolTip(const QString &toolTip)
{
    if (!AddressValid() || m_col < 1 || m_row < 1 || !Addressed().Contains(m_col, m_row))
        return;
    Addressed().SetToolTip(m_col, m_row, toolTip);
}

QString CSpreadSheet::toolTip(int col, int row) const
{
    return Addressed().ToolTip(col, row);
}

namespace {

bool SheetCellInteger(const GridSheet &s, int col, int row, int *value)
{
    int result = 0;
    bool ok = false;
    if (s.Contains(col, row)) {
        const QString t = s.Text(col, row).trimmed();
        if (s.Format(col, row).cellType == grid::CellCheckBox) {
            result = t.toInt() != 0 ? 1 : 0;
            ok = true;
        } else {
            result = t.toInt(&ok);
        }
    }
    if (value)
        *value = ok ? result : 0;
    return ok;
}

} // namespace

bool CSpreadSheet::GetCellInteger(int col, int row, int *value) const
{
    return SheetCellInteger(Addressed(), col, row, value);
}

bool CSpreadSheet::GetSheetCellInteger(int sheet, int col, int row, int *value) const
{
    const GridSheet *s = Sheet(sheet);
    if (!s) {
        if (value)
            *value = 0;
        return false;
    }
    return SheetCellInteger(*s, col, row, value);
}

bool CSpreadSheet::SetCellInteger(int col, int row, int value)
{
    GridSheet &s = Addressed();
    if (!s.Contains(col, row))
        return false;
    const bool check = s.Format(col, row).cellType == grid::CellCheckBox;
    const QString text = check ? QString::number(value != 0 ? 1 : 0) : QString::number(value);
    if (s.Text(col, row) != text) {
        s.SetText(col, row, text);
        NotifyCells(m_addressed, col, row, col, row);
    }
    return true;
}

QString CSpreadSheet::text(int col, int row) const
{
    return Addressed().Text(col, row);
}

// ---------------------------------------------------------------------------------------------------------
// Formats

#define FORMAT_SETTER(Name, Type, Prop, Field)                                                                         \
    void CSpreadSheet::Name(Type v)                                                                                    \
    {                                                                                                                  \
        CellFormat f;                                                                                                  \
        f.Field = v;                                                                                                   \
        SetProp(StyleProp::Prop, f);                                                                                   \
    }

FORMAT_SETTER(SetCellTextColor, int, TextColor, textColor)
FORMAT_SETTER(SetCellType, int, CellType, cellType)
FORMAT_SETTER(SetCellLocked, bool, Locked, locked)
FORMAT_SETTER(SetMaxTextLength, int, MaxTextLength, maxTextLength)
FORMAT_SETTER(SetHorizontalAlign, int, HAlign, hAlign)
FORMAT_SETTER(SetVerticalAlign, int, VAlign, vAlign)
FORMAT_SETTER(SetButtonCaption, const QString &, ButtonCaption, buttonCaption)
FORMAT_SETTER(SetCheckCaption, const QString &, CheckCaption, checkCaption)
FORMAT_SETTER(SetNumberMin, double, NumberMin, numberMin)
FORMAT_SETTER(SetNumberMax, double, NumberMax, numberMax)
FORMAT_SETTER(SetNumberDecimals, int, NumberDecimals, numberDecimals)
FORMAT_SETTER(SetFontName, const QString &, FontName, fontName)
FORMAT_SETTER(SetFontBold, bool, FontBold, fontBold)
FORMAT_SETTER(SetShrinkToFit, bool, ShrinkToFit, shrinkToFit)
#undef FORMAT_SETTER

void CSpreadSheet::SetCellBackColor(int rgb)
{
    CellFormat f;
    f.backColor = rgb & 0xFFFFFF;
    f.backColorSet = true;
    SetProp(StyleProp::BackColor, f);
}

void CSpreadSheet::SetFontSize(double points)
{
    if (!(points > 0) || points > 409)
        return;
    CellFormat f;
    f.fontSize = points;
    SetProp(StyleProp::FontSize, f);
}

int CSpreadSheet::GetCellTextColor() const
{
    return CurrentFormat().textColor;
}
int CSpreadSheet::GetCellBackColor() const
{
    return CurrentFormat().backColor;
}
int CSpreadSheet::GetCellType() const
{
    return CurrentFormat().cellType;
}
bool CSpreadSheet::GetCellLocked() const
{
    return CurrentFormat().locked;
}
QString CSpreadSheet::GetFontName() const
{
    return CurrentFormat().fontName;
}
double CSpreadSheet::GetFontSize() const
{
    return CurrentFormat().fontSize;
}
bool CSpreadSheet::GetFontBold() const
{
    return CurrentFormat().fontBold;
}

// ---------------------------------------------------------------------------------------------------------
// Sheet size and blocks

int CSpreadSheet::GetColumnCount() const
{
    return Addressed().ColumnCount();
}

void CSpreadSheet::SetColumnCount(int count)
{
    if (count < 0 || count > GridSheet::kMaxColumns || count == Addressed().ColumnCount())
        return;
    Addressed().SetColumnCount(count);
    NotifyLayout(m_addressed);
}

int CSpreadSheet::GetRowCount() const
{
    return Addressed().RowCount();
}

void CSpreadSheet::SetRowCount(int count)
{
    if (count < 0 || count > GridSheet::kMaxRows || count == Addressed().RowCount())
        return;
    Addressed().SetRowCount(count);
    NotifyLayout(m_addressed);
}

void CSpreadSheet::CopyRowBlock(int firstRow, int lastRow, int destRow)
{
    GridSheet &s = Addressed();
    if (firstRow < 1 || lastRow < firstRow || lastRow > s.RowCount() || destRow < 1)
        return;
    if (qint64(destRow) + (lastRow - firstRow) > GridSheet::kMaxRows)
        return;
    s.CopyRows(firstRow, lastRow, destRow);
    NotifyLayout(m_addressed);
}

void CSpreadSheet::ClearBlock(int col1, int row1, int col2, int row2, bool dataOnly)
{
    GridSheet &s = Addressed();
    const bool allCols = col1 == kAll || col2 == kAll;
    const bool allRows = row1 == kAll || row2 == kAll;
    const Block b = Clip(s, col1, row1, col2, row2);
    if (b.Empty() && !(allCols && allRows))
        return;
    s.ClearBlock(allCols ? kAll : b.c1, allRows ? kAll : b.r1, allCols ? kAll : b.c2, allRows ? kAll : b.r2, dataOnly);
    NotifyCells(m_addressed, b.c1, b.r1, b.c2, b.r2);
}

void CSpreadSheet::DrawBlockBorder(int col1, int row1, int col2, int row2, int edges, int rgb, int style)
{
    GridSheet &s = Addressed();
    const bool allCols = col1 == kAll || col2 == kAll;
    const bool allRows = row1 == kAll || row2 == kAll;
    const Block b = Clip(s, col1, row1, col2, row2);
    if (b.Empty() && !(allCols && allRows))
        return;
    CellFormat f;
    f.left = f.right = f.top = f.bottom = grid::BorderLine{style, rgb & 0xFFFFFF};
    const std::pair<int, StyleProp> sides[] = {{grid::EdgeLeft, StyleProp::BorderLeft},
                                               {grid::EdgeRight, StyleProp::BorderRight},
                                               {grid::EdgeTop, StyleProp::BorderTop},
                                               {grid::EdgeBottom, StyleProp::BorderBottom}};
    for (const auto &[bit, prop] : sides) {
        if (!(edges & bit))
            continue;
        // Whole columns, rows or the sheet are set as such, so that rows added later carry the border too.
        if (allCols && allRows) {
            s.SetProperty(kAll, kAll, prop, f);
        } else if (allRows) {
            for (int c = b.c1; c <= b.c2; ++c)
                s.SetProperty(c, kAll, prop, f);
        } else if (allCols) {
            for (int r = b.r1; r <= b.r2; ++r)
                s.SetProperty(kAll, r, prop, f);
        } else {
            for (int r = b.r1; r <= b.r2; ++r)
                for (int c = b.c1; c <= b.c2; ++c)
                    s.SetProperty(c, r, prop, f);
        }
    }
    if (!b.Empty())
        NotifyCells(m_addressed, b.c1, b.r1, b.c2, b.r2);
}

bool CSpreadSheet::JoinCells(int col, int row, int colCount, int rowCount)
{
    if (!Addressed().Join(grid::CellSpan{col, row, colCount, rowCount}))
        return false;
    NotifyLayout(m_addressed);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Sizes

double CSpreadSheet::GetColumnWidth(int col) const
{
    const GridSheet &s = Addressed();
    if (col != kHeader && (col < 1 || col > s.ColumnCount()))
        return 0.0;
    return s.ColumnWidth(col);
}

double CSpreadSheet::columnWidth(int col) const
{
    return GetColumnWidth(col);
}

void CSpreadSheet::SetColumnWidth(int col, double width)
{
    GridSheet &s = Addressed();
    if (!std::isfinite(width) || !IndexValid(col, s.ColumnCount()))
        return;
    s.SetColumnWidth(col, width);
    NotifyLayout(m_addressed);
}

double CSpreadSheet::GetRowHeight(int row) const
{
    const GridSheet &s = Addressed();
    if (row != kHeader && (row < 1 || row > s.RowCount()))
        return 0.0;
    return s.RowHeight(row);
}

void CSpreadSheet::SetRowHeight(int row, double height)
{
    GridSheet &s = Addressed();
    if (!std::isfinite(height) || !IndexValid(row, s.RowCount()))
        return;
    s.SetRowHeight(row, height);
    NotifyLayout(m_addressed);
}

bool CSpreadSheet::ColumnWidthInTwips(double width, int *twips) const
{
    if (!twips || !std::isfinite(width))
        return false;
    *twips = static_cast<int>(std::lround(width * kTwipsPerWidthUnit));
    return true;
}

bool CSpreadSheet::RowHeightInTwips(int, double height, int *twips) const
{
    if (!twips || !std::isfinite(height))
        return false;
    *twips = static_cast<int>(std::lround(height * kTwipsPerHeightUnit));
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// Sheet-wide settings

int CSpreadSheet::GetScrollBars() const
{
    return Addressed().ScrollBars();
}

void CSpreadSheet::SetScrollBars(int bars)
{
    if (bars < 0 || bars > 3)
        return;
    Addressed().SetScrollBars(bars);
    NotifyLayout(m_addressed);
}

bool CSpreadSheet::GetColumnHeadersShown() const
{
    return Addressed().ColumnHeadersShown();
}

void CSpreadSheet::SetColumnHeadersShown(bool shown)
{
    Addressed().SetColumnHeadersShown(shown);
    NotifyLayout(m_addressed);
}

bool CSpreadSheet::GetRowHeadersShown() const
{
    return Addressed().RowHeadersShown();
}

void CSpreadSheet::SetRowHeadersShown(bool shown)
{
    Addressed().SetRowHeadersShown(shown);
    NotifyLayout(m_addressed);
}

void CSpreadSheet::SetVisibleColumns(int count)
{
    Addressed().SetVisibleColumns(std::max(0, count));
    NotifyLayout(m_addressed);
}

void CSpreadSheet::SetVisibleRows(int count)
{
    Addressed().SetVisibleRows(std::max(0, count));
    NotifyLayout(m_addressed);
}

void CSpreadSheet::SetGridProperty(int id, int value)
{
    Addressed().SetPropertyValue(id, value);
    NotifyLayout(m_addressed);
}

int CSpreadSheet::GetGridProperty(int id, int fallback) const
{
    return Addressed().Property(id, fallback);
}

const grid::PrintSettings &CSpreadSheet::GetPrintSettings() const
{
    return Addressed().Printing();
}

void CSpreadSheet::SetPrintSettings(const grid::PrintSettings &settings)
{
    grid::PrintSettings p = settings;
    if (p.orientation != grid::PageLandscape)
        p.orientation = grid::PagePortrait;
    p.fitWidth = std::clamp(p.fitWidth, 0, grid::PrintSettings::kMaxFitPages);
    p.fitHeight = std::clamp(p.fitHeight, 0, grid::PrintSettings::kMaxFitPages);
    for (double *margin : {&p.marginLeft, &p.marginRight, &p.marginTop, &p.marginBottom})
        if (!std::isfinite(*margin) || *margin < 0)
            *margin = -1;
    if (p.titleFirstRow < 1 || p.titleLastRow < p.titleFirstRow || p.titleLastRow > xls::kMaxRows)
        p.titleFirstRow = p.titleLastRow = 0;
    p.footer = xls::LeftWholeCharacters(p.footer, grid::PrintSettings::kMaxFooterLength);
    Addressed().SetPrinting(p);
}

// ---------------------------------------------------------------------------------------------------------
// Sheets

void CSpreadSheet::SetSheetCount(int count)
{
    if (count < 1 || count > 256 || count == GetSheetCount())
        return;
    while (GetSheetCount() > count)
        m_sheets.pop_back();
    while (GetSheetCount() < count) {
        auto sheet = std::make_unique<GridSheet>();
        sheet->SetColumnCount(kInitialColumns);
        sheet->SetRowCount(kInitialRows);
        m_sheets.push_back(std::move(sheet));
    }
    m_addressed = std::min(m_addressed, count);
    if (m_shown > count)
        SetShownSheet(count);
}

void CSpreadSheet::SetAddressedSheet(int sheet)
{
    if (sheet >= 1 && sheet <= GetSheetCount())
        m_addressed = sheet;
}

void CSpreadSheet::SetShownSheet(int sheet)
{
    if (sheet < 1 || sheet > GetSheetCount() || sheet == m_shown)
        return;
    m_shown = sheet;
    if (m_displayUpdates)
        emit ShownSheetChanged(sheet);
}

void CSpreadSheet::SetDisplayUpdates(bool on)
{
    if (on == m_displayUpdates)
        return;
    m_displayUpdates = on;
    emit DisplayUpdatesChanged(on);
}

const GridSheet *CSpreadSheet::Sheet(int sheet) const
{
    return sheet >= 1 && sheet <= GetSheetCount() ? m_sheets[sheet - 1].get() : nullptr;
}

void CSpreadSheet::AttachView(QObject *view)
{
    m_view = view;
}

// ---------------------------------------------------------------------------------------------------------
// The operator's actions

bool CSpreadSheet::IsEditableByOperator(int sheet, int col, int row) const
{
    const GridSheet *s = Sheet(sheet);
    if (!s || !s->Contains(col, row))
        return false;
    if (auto span = s->SpanAt(col, row); span && (span->col != col || span->row != row))
        return false;
    const CellFormat f = s->Format(col, row);
    return !f.locked && (f.cellType == grid::CellEditText || f.cellType == grid::CellNumber);
}

bool CSpreadSheet::OperatorSetText(int sheet, int col, int row, const QString &text)
{
    if (!IsEditableByOperator(sheet, col, row))
        return false;
    GridSheet &s = *m_sheets[sheet - 1];
    const CellFormat f = s.Format(col, row);
    QString value = text;
    if (f.cellType == grid::CellNumber && !value.trimmed().isEmpty()) {
        bool ok = false;
        const double number = QLocale::c().toDouble(value.trimmed(), &ok);
        if (!ok || !std::isfinite(number) || number < f.numberMin || number > f.numberMax)
            return false;
        const int decimals = std::clamp(f.numberDecimals, 0, 15);
        const double scale = std::pow(10.0, decimals);
        if (std::abs(number * scale - std::round(number * scale)) > 1e-6)
            return false; // more decimal places than the cell takes
        value = QString::number(number, 'f', decimals);
    } else if (f.cellType == grid::CellNumber) {
        value.clear();
    } else if (f.maxTextLength > 0 && value.size() > f.maxTextLength) {
        value.truncate(f.maxTextLength);
    }
    if (s.Text(col, row) != value) {
        s.SetText(col, row, value);
        NotifyCells(sheet, col, row, col, row);
        emit CellChangedByOperator(sheet, col, row);
    }
    return true;
}

bool CSpreadSheet::OperatorToggleCheck(int sheet, int col, int row)
{
    const GridSheet *s = Sheet(sheet);
    if (!s || !s->Contains(col, row))
        return false;
    const CellFormat f = s->Format(col, row);
    if (f.cellType != grid::CellCheckBox || f.locked)
        return false;
    const int state = s->Text(col, row).trimmed().toInt() != 0 ? 0 : 1;
    m_sheets[sheet - 1]->SetText(col, row, QString::number(state));
    NotifyCells(sheet, col, row, col, row);
    emit CellChangedByOperator(sheet, col, row);
    emit ButtonClicked(col, row, state);
    return true;
}

bool CSpreadSheet::OperatorPressButton(int sheet, int col, int row)
{
    const GridSheet *s = Sheet(sheet);
    if (!s || !s->Contains(col, row))
        return false;
    const CellFormat f = s->Format(col, row);
    if (f.cellType != grid::CellButton || f.locked)
        return false;
    emit ButtonClicked(col, row, 0);
    return true;
}

// ---------------------------------------------------------------------------------------------------------

bool CSpreadSheet::SaveExcelFile(const QString &path, const QString &sheetName, int, QString *error) const
{
    QString reason;
    const bool ok =
        xls::SaveWorkbook(Addressed(), sheetName.isEmpty() ? QStringLiteral("Sheet1") : sheetName, path, &reason);
    if (error)
        *error = reason;
    return ok;
}
