#include "ReportFiles.h"

#include "CIniSysInfo.h"
#include "IniFile.h"
#include "LocalTime.h"
#include "PdfReport.h"
#include "RecordTables.h"
#include "ReportExport.h"

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
    header.company = text(texts.company, "COMPANY");
    header.reportName = text(texts.reportName, "REPORT_NAME");
    header.author = text(texts.author, "USER_NAME");
}

} // namespace

ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, const Measurement &table,
                                   const ReportHeaderTexts &texts, const QString &iniPath)
{
    if (targets.xlsPath.isEmpty() && targets.pdfPath.isEmpty())
        return {};
    ReportHeader header;
    header.identity = table.identity.value_or(InstrumentIdentity{});
    header.createdAt = FormatLocalTime(table.madeAt);
    FillReportTexts(texts, iniPath, header);
    return WriteReportFiles(targets, header, table);
}

ReportFilesResult WriteReportFiles(const ReportFileTargets &targets, const ReportHeader &header,
                                   const Measurement &table)
{
    ReportFilesResult result;
    auto failed = [&](const QString &kind, const QString &why) {
        result.reason = why;
        result.error = kind + QStringLiteral(" : ") + why;
        return result;
    };
    QString error;
    if (!targets.xlsPath.isEmpty()) {
        ReportExport report(table.Continuous() ? ReportMode::Output : ReportMode::Memory);
        report.FillHeader(header);
        report.FillRecords(ReportRowsOf(table));
        if (!table.IncompleteWhy().isEmpty())
            report.MarkIncomplete(table.IncompleteWhy());
        if (!report.Save(targets.xlsPath, &error))
            return failed(QStringLiteral("엑셀 저장 실패"), error);
        result.xlsWritten = true;
    }
    if (!targets.pdfPath.isEmpty()) {
        if (!PdfReport(header, table).Save(targets.pdfPath, &error))
            return failed(QStringLiteral("PDF 저장 실패"), error);
        result.pdfWritten = true;
    }
    return result;
}

QList<TableLine> DownloadTableLines(const Measurement &table)
{
    QList<TableLine> lines;
    if (table.Continuous()) {
        lines << TableLine{TableLine::Kind::Titles, SummaryColumnTitles()};
        const std::optional<SummaryTexts> summary = table.SummaryRow();
        lines << TableLine{TableLine::Kind::Summary,
                           summary ? QStringList{summary->count, summary->values[0], summary->values[1],
                                                 summary->values[2], summary->values[3]}
                                   : QStringList(kContinuousColumnCount, QString())};
    }
    lines << TableLine{TableLine::Kind::Titles, RecordColumnTitles()};
    for (int i = 0; i < table.Count(); ++i) {
        const RecordTexts texts = table.RowTexts(i);
        lines << TableLine{TableLine::Kind::Record,
                           {QString::number(i + 1), texts.time, texts.force, texts.setValue, texts.loadCell},
                           i};
    }
    return lines;
}
