#include "ReportCommands.h"

#include "ArchiveTypes.h"

#include "ChartSeries.h"
#include "CliCommand.h"
#include "CliSession.h"
#include "InstrumentIdentity.h"
#include "LimitsSettings.h"
#include "RecordChart.h"
#include "RecordTables.h"
#include "ReportFiles.h"
#include "SessionJobs.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QSaveFile>

#include <algorithm>
#include <vector>

int ReadIdentity(CliContext &context, InstrumentIdentity &identity)
{
    const JobResult read = context.session.Run(SessionJobs::Identity());
    identity = SessionJobs::IdentityFromExchanges(read.exchanges);
    int failure = 0;
    for (const ExchangeOutcome &outcome : read.exchanges)
        failure = outcome.code < 0 ? outcome.code : failure;
    return failure;
}

QString ReportOptionsUsage(ReportMode mode)
{
    return mode == ReportMode::Memory ? QStringLiteral("[--xls FILE] [--pdf FILE] [--png FILE] [--rows LIST] "
                                                       "[--company TEXT] [--report-name TEXT] [--author TEXT]")
                                      : QStringLiteral("[--xls FILE] [--pdf FILE] [--png FILE] "
                                                       "[--company TEXT] [--report-name TEXT] [--author TEXT]");
}

bool ParseRowList(const QString &list, QList<RowRange> &rows)
{
    rows.clear();
    for (const QString &part : list.split(QLatin1Char(','))) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool okFirst = false, okLast = false;
        const int first = ends.value(0).toInt(&okFirst);
        const int last = ends.size() == 2 ? ends[1].toInt(&okLast) : first;
        if (ends.size() > 2 || !okFirst || (ends.size() == 2 && !okLast) || first < 1 || last < first)
            return false;
        rows.append({first, last});
    }
    return !rows.isEmpty();
}

bool TakeReportOptions(QStringList &arguments, ReportMode mode, ReportOptions &options, QTextStream &err)
{
    static const QStringList kNames{"xls", "pdf", "png", "rows", "company", "report-name", "author"};
    QStringList rest;
    QString rowList;
    bool anyHeaderOption = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        QString name, value;
        bool isReportOption = false;
        for (const QString &n : kNames) {
            const QString flag = QStringLiteral("--") + n;
            if (a == flag) {
                if (i + 1 >= arguments.size()) {
                    err << flag << " needs a value" << Qt::endl;
                    return false;
                }
                name = n;
                value = arguments[++i];
                isReportOption = true;
            } else if (a.startsWith(flag + QLatin1Char('='))) {
                name = n;
                value = a.mid(flag.size() + 1);
                isReportOption = true;
            }
            if (isReportOption)
                break;
        }
        if (!isReportOption) {
            rest << a;
            continue;
        }
        if (name == "xls")
            options.xlsPath = value;
        else if (name == "pdf")
            options.pdfPath = value;
        else if (name == "png")
            options.pngPath = value;
        else if (name == "rows")
            rowList = value;
        else if (name == "company")
            options.company = value;
        else if (name == "report-name")
            options.reportName = value;
        else
            options.author = value;
        if (name == "rows" || name == "company" || name == "report-name" || name == "author")
            anyHeaderOption = true;
    }
    if (anyHeaderOption && !options.AnyOutput()) {
        err << "--rows, --company, --report-name and --author need --xls, --pdf or --png FILE" << Qt::endl;
        return false;
    }
    if (!rowList.isNull()) {
        if (mode == ReportMode::Output) {
            err << "--rows is for memory only: the output report takes every record" << Qt::endl;
            return false;
        }
        if (!ParseRowList(rowList, options.rows)) {
            err << "--rows takes running numbers and ranges, as 1,3,5-7: " << rowList << Qt::endl;
            return false;
        }
        options.allRows = false;
    }
    arguments = rest;
    return true;
}

int WriteReports(CliContext &context, const ReportOptions &options, Measurement &table)
{
    const ReportMode mode = table.Continuous() ? ReportMode::Output : ReportMode::Memory;
    if (mode == ReportMode::Memory) {
        if (!options.allRows) {
            const int rowCount = table.Count();
            // The lowest running number asked for that the download does not have.
            int missing = 0;
            for (const RowRange &range : options.rows) {
                if (range.last > rowCount) {
                    const int row = std::max(range.first, rowCount + 1);
                    missing = missing == 0 ? row : std::min(missing, row);
                }
            }
            if (missing > 0) {
                context.err << "--rows: there is no row " << missing << " (the download has " << rowCount << " rows)"
                            << Qt::endl;
                return kExitUsage;
            }
            // How many ranges start minus how many have ended at each row: a row is ticked while it is above 0.
            std::vector<int> opened(static_cast<size_t>(rowCount) + 2, 0);
            for (const RowRange &range : options.rows) {
                ++opened[static_cast<size_t>(range.first)];
                --opened[static_cast<size_t>(range.last) + 1];
            }
            int covering = 0;
            for (int row = 1; row <= rowCount; ++row) {
                covering += opened[static_cast<size_t>(row)];
                table.SetTicked(row - 1, covering > 0);
            }
        }
    }

    table.SetLimits(LoadPressClassLimits(ProgramIniPath()));
    if (!options.pngPath.isEmpty()) {
        const QImage chart = RecordChart::Render(BuildChartSeries(table, ChartScope::TickedOnly), QSize(1200, 700));
        QSaveFile file(options.pngPath);
        if (!file.open(QIODevice::WriteOnly) || !chart.save(&file, "PNG") || !file.commit()) {
            context.err << "PNG 저장 실패 : " << file.errorString() << Qt::endl;
            return kExitInstrumentFailed;
        }
        context.err << "PNG 저장: " << options.pngPath << Qt::endl;
    }
    if (options.xlsPath.isEmpty() && options.pdfPath.isEmpty())
        return kExitOk;

    if (!table.identity) {
        InstrumentIdentity read;
        if (const int failure = ReadIdentity(context, read); failure < 0)
            return context.Fail(failure);
        table.identity = read;
    }
    const ReportFilesResult written = WriteReportFiles(
        {options.xlsPath, options.pdfPath}, table, {options.company, options.reportName, options.author}, ProgramIniPath());
    if (written.xlsWritten)
        context.err << "엑셀 저장: " << options.xlsPath << Qt::endl;
    if (!written.error.isEmpty()) {
        context.err << written.error << Qt::endl;
        return kExitInstrumentFailed;
    }
    if (written.pdfWritten)
        context.err << "PDF 저장: " << options.pdfPath << Qt::endl;
    return kExitOk;
}
