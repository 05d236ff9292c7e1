#include "RecordTables.h"

#include "CSpreadSheet.h"
#include "Measurement.h"
#include "MeasurementRecord.h"
#include "ReportExport.h"

namespace {
constexpr double kFontSize = 11.0;
constexpr int kVerticalScrollBar = 2;
constexpr int kCheckColumnWidth = 3;
constexpr int kNumberColumnWidth = 7;
constexpr int kTextColumnWidth = 20;
constexpr int kContinuousLabelRow = 1;
constexpr int kContinuousTitleRow = 3;
constexpr int kContinuousFirstRecordRow = 4;

void SelectBlock(CSpreadSheet &grid, int col, int row)
{
    grid.SetCurrentColumn(col);
    grid.SetCurrentRow(row);
}

// Read-only text, centred, in every cell; then the sheet's borders.
void StyleCells(CSpreadSheet &grid, const RecordSheetColors &colors)
{
    grid.DrawBlockBorder(grid::kAll, grid::kAll, grid::kAll, grid::kAll, grid::EdgeAll, colors.borderColor,
                         grid::BorderSolid);
    SelectBlock(grid, grid::kAll, grid::kAll);
    grid.SetCellType(grid::CellStaticText);
    grid.SetHorizontalAlign(grid::AlignHCenter);
    grid.SetVerticalAlign(grid::AlignVCenter);
}

void SetColumnWidths(CSpreadSheet &grid, std::initializer_list<int> widths)
{
    int col = 1;
    for (int width : widths)
        grid.SetColumnWidth(col++, width);
}

void SetUpStoredSheet(CSpreadSheet &grid, const RecordSheetColors &colors)
{
    SelectBlock(grid, grid::kAll, grid::kAll);
    grid.SetCellLocked(true);
    SelectBlock(grid, 1, grid::kAll);
    grid.SetCellLocked(false);
    SelectBlock(grid, grid::kAll, grid::kAll);
    grid.SetFontSize(kFontSize);
    grid.SetScrollBars(kVerticalScrollBar);
    grid.SetColumnCount(kStoredColumnCount);
    grid.SetRowCount(0);

    grid.SetCellTextIfChanged(1, grid::kHeader, QStringLiteral("CK"));
    const QStringList titles = RecordColumnTitles();
    for (int i = 0; i < titles.size(); ++i)
        grid.SetCellTextIfChanged(i + 2, grid::kHeader, titles[i]);

    StyleCells(grid, colors);
    SelectBlock(grid, 1, grid::kAll);
    grid.SetCellType(grid::CellCheckBox);
    grid.SetHorizontalAlign(grid::AlignHCenter);
    grid.SetVerticalAlign(grid::AlignVCenter);
    SetColumnWidths(grid, {kCheckColumnWidth, kNumberColumnWidth, kTextColumnWidth, kTextColumnWidth, kTextColumnWidth,
                           kTextColumnWidth});
}

void SetUpContinuousSheet(CSpreadSheet &grid, const RecordSheetColors &colors)
{
    SelectBlock(grid, grid::kAll, grid::kAll);
    grid.SetFontSize(kFontSize);
    grid.SetScrollBars(kVerticalScrollBar);
    grid.SetColumnHeadersShown(false);
    grid.SetRowHeadersShown(false);
    grid.SetColumnCount(kContinuousColumnCount);
    grid.SetRowCount(kContinuousFixedRows);

    for (auto [col, row] : {std::pair{grid::kAll, kContinuousLabelRow}, std::pair{1, kContinuousSummaryRow},
                            std::pair{grid::kAll, kContinuousTitleRow}}) {
        SelectBlock(grid, col, row);
        grid.SetCellBackColor(colors.labelBackColor);
    }
    const QStringList labels = SummaryColumnTitles();
    const QStringList titles = RecordColumnTitles();
    for (int col = 1; col <= kContinuousColumnCount; ++col) {
        grid.SetCellTextIfChanged(col, kContinuousLabelRow, labels[col - 1]);
        grid.SetCellTextIfChanged(col, kContinuousTitleRow, titles[col - 1]);
    }

    StyleCells(grid, colors);
    SetColumnWidths(grid, {kNumberColumnWidth, kTextColumnWidth, kTextColumnWidth, kTextColumnWidth, kTextColumnWidth});
}
} // namespace

QStringList RecordColumnTitles()
{
    return {QStringLiteral("No"), QStringLiteral("측정 시간"), QStringLiteral("측정 압력 값"),
            QStringLiteral("측정 압력 설정 값"), QStringLiteral("로드셀 종류")};
}

QStringList SummaryColumnTitles()
{
    return {QStringLiteral("측정횟수"), QStringLiteral("압력 평균 값"), QStringLiteral("최소 값"),
            QStringLiteral("최대 값"), QStringLiteral("압력 편차")};
}

void SetUpRecordSheets(CSpreadSheet &grid, const RecordSheetColors &colors,
                       const std::function<void(CSpreadSheet &)> &applyGridStyle)
{
    grid.SetSheetCount(2);
    grid.SetAddressedSheet(kStoredRecordSheet);
    if (applyGridStyle)
        applyGridStyle(grid);
    SetUpStoredSheet(grid, colors);

    grid.SetAddressedSheet(kContinuousSheet);
    if (applyGridStyle)
        applyGridStyle(grid);
    SetUpContinuousSheet(grid, colors);

    grid.SetAddressedSheet(kStoredRecordSheet);
}

void EmptyStoredRecordSheet(CSpreadSheet &grid)
{
    grid.SetRowCount(0);
}

void EmptyContinuousSheet(CSpreadSheet &grid)
{
    grid.ClearBlock(1, kContinuousSummaryRow, kContinuousColumnCount, kContinuousSummaryRow, true);
    grid.SetRowCount(kContinuousFixedRows);
}

void FillRecordSheets(const Measurement &table, CSpreadSheet &grid)
{
    SetUpRecordSheets(grid, RecordSheetColors{});
    grid.SetAddressedSheet(table.Continuous() ? kContinuousSheet : kStoredRecordSheet);
    RecordTableWriter writer(&grid, RecordSheetColors().textColor);
    if (table.Summary())
        writer.SetContinuousSummary(table.Summary()->data());
    for (int i = 0; i < table.Count(); ++i) {
        if (table.Continuous())
            writer.AddContinuousRecordRow(i, table.Record(i).data());
        else
            writer.AddStoredRecordRow(i, table.Record(i).data());
    }
}

ReportRows ReportRowsOf(const Measurement &table)
{
    ReportRows report;
    if (const std::optional<SummaryTexts> summary = table.SummaryRow())
        report.summary = {summary->count, summary->values[0], summary->values[1], summary->values[2],
                          summary->values[3]};
    for (int i = 0; i < table.Count(); ++i) {
        if (table.Continuous() || table.IsTicked(i)) {
            const RecordTexts texts = table.RowTexts(i);
            report.rows.append({texts.time, texts.force, texts.setValue, texts.loadCell});
        }
    }
    return report;
}

void TakeStoredTicks(Measurement &table, const CSpreadSheet &grid)
{
    for (int i = 0; i < table.Count(); ++i) {
        int ticked = 0;
        table.SetTicked(i, grid.GetSheetCellInteger(kStoredRecordSheet, 1, i + 1, &ticked) && ticked == 1);
    }
}

RecordTableWriter::RecordTableWriter(CSpreadSheet *grid, int textColor) : m_grid(grid), m_textColor(textColor) {}

void RecordTableWriter::EnsureRowCount(int row)
{
    if (m_grid->GetRowCount() < row)
        m_grid->SetRowCount(row);
}

void RecordTableWriter::AddStoredRecordRow(int index, const uint8_t *record)
{
    const RecordTexts texts = StoredRecordTexts(record);
    const int row = index + 1;
    EnsureRowCount(row);
    m_grid->SetCellTextIfChanged(1, row, QStringLiteral("1"));
    m_grid->SetCellTextIfChanged(2, row, QString::number(row));
    m_grid->SetCellTextIfChanged(3, row, texts.time);
    m_grid->SetCellTextIfChanged(4, row, texts.force);
    MarkStoredForceCell(index, record);
    m_grid->SetCellTextIfChanged(5, row, texts.setValue);
    m_grid->SetCellTextIfChanged(6, row, texts.loadCell);
}

void RecordTableWriter::MarkStoredForceCell(int index, const uint8_t *record)
{
    const std::optional<ForceCellMark> mark = m_forceMarker ? m_forceMarker(record) : std::nullopt;
    const int color = mark ? mark->textColor : m_textColor;
    m_grid->SetCurrentColumn(4);
    m_grid->SetCurrentRow(index + 1);
    if (m_grid->GetCellTextColor() != color)
        m_grid->SetCellTextColor(color);
    const QString toolTip = mark ? mark->toolTip : QString();
    if (m_grid->GetCellToolTip() != toolTip)
        m_grid->SetCellToolTip(toolTip);
}

void RecordTableWriter::SetContinuousSummary(const uint8_t *summary)
{
    const SummaryTexts texts = ContinuousSummaryTexts(summary);
    m_grid->SetCellTextIfChanged(1, kContinuousSummaryRow, texts.count);
    for (int i = 0; i < kSummaryValueCount; ++i)
        m_grid->SetCellTextIfChanged(2 + i, kContinuousSummaryRow, texts.values[i]);
}

void RecordTableWriter::AddContinuousRecordRow(int index, const uint8_t *record)
{
    const RecordTexts texts = ContinuousRecordTexts(record);
    SetContinuousRow(index, texts.time, texts.force, texts.setValue, texts.loadCell);
}

void RecordTableWriter::SetContinuousRow(int index, const QString &time, const QString &force, const QString &setValue,
                                         const QString &loadCell)
{
    const int row = index + kContinuousFirstRecordRow;
    EnsureRowCount(row);
    m_grid->SetCellTextIfChanged(1, row, QString::number(index + 1));
    m_grid->SetCellTextIfChanged(2, row, time);
    m_grid->SetCellTextIfChanged(3, row, force);
    m_grid->SetCellTextIfChanged(4, row, setValue);
    m_grid->SetCellTextIfChanged(5, row, loadCell);
}
