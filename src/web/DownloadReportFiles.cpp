#include "DownloadReportFiles.h"

#include "ArchiveTypes.h"
#include "CIniSysInfo.h"
#include "DownloadReplay.h"
#include "IniFile.h"
#include "InstrumentIdentity.h"
#include "LocalTime.h"
#include "PdfReport.h"
#include "RecordTables.h"
#include "ReportExport.h"
#include "ResultCodes.h"

namespace {

// Each text of the INI file where the caller did not give one.
void FillReportTexts(const ReportHeaderTexts &texts, const QString &iniPath, ReportHeader &header)
{
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    auto text = [&](const QString &given, const char *key) {
        if (!given.isNull())
            return given;
        const auto value =
            ini ? IniFile::FindValue(ini->text, QStringLiteral("REPORT"), QLatin1String(key)) : std::nullopt;
        return CutAtCharacterBoundary(value.value_or(QString()), CIniSysInfo::kMaxTextLength);
    };
    header.Company() = text(texts.company, "COMPANY");
    header.ReportName() = text(texts.reportName, "REPORT_NAME");
    header.Author() = text(texts.author, "USER_NAME");
}

} // namespace

ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, ReportMode mode, const CSpreadSheet &records,
                                   const ChartRecords &raw, qint64 downloadTime, const InstrumentIdentity &identity,
                                   const QString &incompleteWhy, const ReportHeaderTexts &texts, const QString &iniPath)
{
    ReportFilesResult result;
    if (targets.xlsPath.isEmpty() && targets.pdfPath.isEmpty())
        return result;
    ReportHeader header;
    for (size_t i = 0; i < kIdentityFields.size(); ++i)
        header.values[kIdentityFields[i].row - 1][kIdentityFields[i].column == 2 ? 0 : 1] = identity.texts[i];
    header.CreatedAt() = FormatLocalTime(downloadTime);
    FillReportTexts(texts, iniPath, header);

    ReportExport report(mode);
    report.FillHeader(header);
    const int dataRows = report.FillRecords(records);
    if (!incompleteWhy.isEmpty())
        report.MarkIncomplete(incompleteWhy);
    QString error;
    if (!targets.xlsPath.isEmpty()) {
        if (!report.Save(targets.xlsPath, &error)) {
            result.error = QStringLiteral("엑셀 저장 실패 : ") + error;
            return result;
        }
        result.xlsWritten = true;
    }
    if (!targets.pdfPath.isEmpty()) {
        if (!PdfReport(report, dataRows, raw, PressClassLimits::Load(iniPath)).Save(targets.pdfPath, &error)) {
            result.error = QStringLiteral("PDF 저장 실패 : ") + error;
            return result;
        }
        result.pdfWritten = true;
    }
    return result;
}

QList<QStringList> DownloadTableTexts(const CSpreadSheet &grid, ReportMode mode)
{
    QList<QStringList> lines;
    const bool memory = mode == ReportMode::Memory;
    if (memory) {
        QStringList headers;
        for (int col = 2; col <= kStoredColumnCount; ++col)
            headers << grid.Sheet(kStoredRecordSheet)->Text(col, grid::kHeader);
        lines << headers;
    }
    for (int row = 1; row <= grid.GetRowCount(); ++row) {
        QStringList texts;
        for (int col = memory ? 2 : 1; col <= grid.GetColumnCount(); ++col)
            texts << grid.text(col, row);
        lines << texts;
    }
    return lines;
}

ArchivedTable::ArchivedTable(const ArchivedDownload &download)
    : m_download(download),
      m_mode(download.summary.mode == DownloadMode::Memory ? ReportMode::Memory : ReportMode::Output),
      m_sink(m_grid, m_mode == ReportMode::Memory ? ChartMode::Memory : ChartMode::Output)
{
    SetUpRecordSheets(m_grid, RecordSheetColors{});
    m_grid.SetAddressedSheet(m_mode == ReportMode::Memory ? kStoredRecordSheet : kContinuousSheet);
    ReplayDownload(download, m_sink);
    if (m_mode == ReportMode::Memory)
        m_sink.Records().TakeTicks(m_grid);
    const DownloadSummary &summary = download.summary;
    m_incompleteWhy =
        IncompleteTableText(!summary.resultCode || *summary.resultCode < 0, summary.rowCount, summary.damaged);
}

ReportFilesResult ArchivedTable::WriteFiles(const ReportFileTargets &targets, const QString &iniPath)
{
    return WriteReportFiles(targets, m_mode, m_grid, m_sink.Records(), m_download.summary.startedAt,
                            m_download.summary.identity, m_incompleteWhy, {}, iniPath);
}
