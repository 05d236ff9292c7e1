#include "ReportExport.h"

namespace {

constexpr int kColumns = 5;
// The header block: the left values in column 3, the right ones in column 5.
constexpr int kLeftValueColumn = 3;
constexpr int kRightValueColumn = 5;

struct Place {
    int col;
    int row;
};

// Where each identity field (in kIdentityFields order) stands in the header block.
constexpr std::array<Place, InstrumentIdentity::kFieldCount> kIdentityPlaces = {{
    {kLeftValueColumn, 3},  // 측정기 명
    {kLeftValueColumn, 4},  // 15톤 로드셀 S/N
    {kLeftValueColumn, 5},  // 30톤 로드셀 S/N
    {kLeftValueColumn, 6},  // 30톤 로드셀 커버 S/N
    {kRightValueColumn, 3}, // 측정기 S/N
    {kRightValueColumn, 4}, // 15톤 로드셀 커버 S/N
    {kRightValueColumn, 5}, // 25톤 로드셀 커버 S/N
    {kRightValueColumn, 6}, // 버전 정보
}};

} // namespace

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
    SetText(kLeftValueColumn, 1, header.createdAt);
    SetText(kRightValueColumn, 1, header.company);
    SetText(kLeftValueColumn, 2, header.reportName);
    SetText(kRightValueColumn, 2, header.author);
    for (size_t i = 0; i < kIdentityPlaces.size(); ++i)
        SetText(kIdentityPlaces[i].col, kIdentityPlaces[i].row, header.identity.texts[i]);
}

int ReportExport::FillRecords(const ReportRows &records)
{
    if (m_mode == ReportMode::Memory) {
        FillRows(records.rows, ReportTemplate::kMemoryModelRow);
    } else {
        for (int col = 1; col <= kColumns; ++col)
            SetText(col, ReportTemplate::kOutputStatisticsRow, records.summary.value(col - 1));
        FillRows(records.rows, ReportTemplate::kOutputModelRow);
    }
    return int(records.rows.size());
}

void ReportExport::MarkIncomplete(const QString &why)
{
    grid::PrintSettings print = m_sheet.GetPrintSettings();
    // '&' starts a footer code; the note's own is doubled.
    print.footer =
        QStringLiteral("&L") + IncompleteReportNote(why).replace(QLatin1Char('&'), QStringLiteral("&&")) + print.footer;
    m_sheet.SetPrintSettings(print);
}

namespace {

bool IsTicked(const CSpreadSheet &records, int row)
{
    int value = 0;
    return records.GetCellInteger(1, row, &value) && value == 1;
}

} // namespace

int ReportExport::TickedRowCount(const CSpreadSheet &records)
{
    int n = 0;
    for (int row = 1; row <= records.GetRowCount(); ++row)
        n += IsTicked(records, row) ? 1 : 0;
    return n;
}

void ReportExport::FillRows(const QList<ReportRows::Row> &rows, int modelRow)
{
    // The model row is copied down for every row after the first.
    for (int dest = modelRow + 1; dest <= modelRow - 1 + int(rows.size()); ++dest)
        m_sheet.CopyRowBlock(modelRow, modelRow, dest);
    for (int k = 0; k < int(rows.size()); ++k) {
        const int target = modelRow + k;
        SetText(1, target, QString::number(k + 1));
        for (int col = 2; col <= kColumns; ++col)
            SetText(col, target, rows[k][size_t(col - 2)]);
    }
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
