#include "ReportExport.h"

namespace {

constexpr int kColumns = 5;
// Continuous sheet of the main window: statistics in row 2, records from row 4.
constexpr int kContinuousStatisticsRow = 2;
constexpr int kContinuousFirstRecordRow = 4;
// Stored-record sheet: check box in column 1, the four record texts from column 3.
constexpr int kStoredCheckColumn = 1;
constexpr int kStoredFirstTextColumn = 3;

} // namespace

ReportHeader ReportHeader::FromDeviceGrid(const CSpreadSheet &deviceGrid)
{
    ReportHeader header;
    for (int row = 1; row <= kRows; ++row) {
        header.values[row - 1][0] = deviceGrid.text(2, row);
        header.values[row - 1][1] = deviceGrid.text(4, row);
    }
    return header;
}

ReportExport::ReportExport(ReportMode mode) : m_mode(mode)
{
    if (!ReportTemplate::Load(mode, m_sheet, &m_loadError) && m_loadError.isEmpty())
        m_loadError = QStringLiteral("보고서 양식을 읽을 수 없습니다.");
}

void ReportExport::SetText(int col, int row, const QString &text)
{
    m_sheet.SetCellTextIfChanged(col, row, text);
}

void ReportExport::FillHeader(const ReportHeader &header)
{
    for (int row = 1; row <= ReportHeader::kRows; ++row) {
        SetText(3, row, header.values[row - 1][0]);
        SetText(5, row, header.values[row - 1][1]);
    }
}

int ReportExport::FillRecords(const CSpreadSheet &records)
{
    return m_mode == ReportMode::Memory ? FillStoredRows(records) : FillContinuousRows(records);
}

void ReportExport::MarkIncomplete(const QString &why)
{
    m_incompleteNote = QStringLiteral("표가 완전하지 않음 (%1)").arg(why);
    grid::PrintSettings print = m_sheet.GetPrintSettings();
    // '&' starts a footer code; the note's own is doubled.
    print.footer =
        QStringLiteral("&L") + QString(m_incompleteNote).replace(QLatin1Char('&'), QStringLiteral("&&")) + print.footer;
    m_sheet.SetPrintSettings(print);
}

namespace {

bool IsTicked(const CSpreadSheet &records, int row)
{
    int value = 0;
    return records.GetCellInteger(kStoredCheckColumn, row, &value) && value == 1;
}

} // namespace

int ReportExport::TickedRowCount(const CSpreadSheet &records)
{
    int n = 0;
    for (int row = 1; row <= records.GetRowCount(); ++row)
        n += IsTicked(records, row) ? 1 : 0;
    return n;
}

int ReportExport::FillStoredRows(const CSpreadSheet &records)
{
    const int rowCount = records.GetRowCount();
    const int n = TickedRowCount(records);

    const int model = ReportTemplate::kMemoryModelRow;
    for (int dest = model + 1; dest <= model - 1 + n; ++dest)
        m_sheet.CopyRowBlock(model, model, dest);

    int k = 0;
    for (int row = 1; row <= rowCount; ++row) {
        if (!IsTicked(records, row))
            continue;
        ++k;
        const int target = model - 1 + k;
        SetText(1, target, QString::number(k));
        for (int col = 2; col <= kColumns; ++col)
            SetText(col, target, records.text(kStoredFirstTextColumn + col - 2, row));
    }
    return k;
}

int ReportExport::FillContinuousRows(const CSpreadSheet &records)
{
    const int rowCount = records.GetRowCount();
    const int model = ReportTemplate::kOutputModelRow;
    // Sheet row i lands on workbook row i + offset.
    const int offset = model - kContinuousFirstRecordRow;
    for (int dest = model + 1; dest <= rowCount + offset; ++dest)
        m_sheet.CopyRowBlock(model, model, dest);

    for (int col = 1; col <= kColumns; ++col)
        SetText(col, ReportTemplate::kOutputStatisticsRow, records.text(col, kContinuousStatisticsRow));

    int written = 0;
    for (int row = kContinuousFirstRecordRow; row <= rowCount; ++row) {
        SetText(1, row + offset, QString::number(row - kContinuousFirstRecordRow + 1));
        for (int col = 2; col <= kColumns; ++col)
            SetText(col, row + offset, records.text(col, row));
        ++written;
    }
    return written;
}

bool ReportExport::Save(const QString &path, QString *error) const
{
    if (!IsReady()) {
        if (error)
            *error = m_loadError;
        return false;
    }
    return m_sheet.SaveExcelFile(path, QString(), 0, error);
}

QString ReportExport::TargetPath(const QString &chosen)
{
    if (chosen.right(4).compare(QLatin1String(".xls"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QLatin1String(".xls");
}

QString ReportExport::ProposedFileName(const QString &serial, ReportMode mode, const QDate &date)
{
    QString safeSerial;
    for (const QChar c : serial.trimmed())
        safeSerial += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
    const QString modeName = mode == ReportMode::Output ? QStringLiteral("OUTPUT") : QStringLiteral("MEMORY");
    const QString rest =
        modeName + QLatin1Char('_') + date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1String(".xls");
    if (safeSerial.isEmpty() || serial.trimmed() == QLatin1String("-"))
        return rest;
    return safeSerial + QLatin1Char('_') + rest;
}
