// memory and output: the two downloads as tab-separated text, the same rows the operator's window shows,
// archived as they arrive, and optionally the report workbook of them.

#include "RecordCommands.h"

#include "ArchiveLocation.h"
#include "CliCommand.h"
#include "CliSession.h"
#include "DownloadArchive.h"
#include "LocalTime.h"
#include "RecordTables.h"
#include "ReportCommands.h"
#include "ReportFiles.h"
#include "ResultCodes.h"
#include "SessionJobs.h"

#include <QDate>

#include <memory>

std::optional<qint64> ParseDay(const QString &text)
{
    return LocalDayStart(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")));
}

namespace {

void PrintLine(QTextStream &out, const QStringList &texts)
{
    out << texts.join(QLatin1Char('\t')) << '\n';
}

// "--from X --to Y" (either also as --name=VALUE) and nothing else.
bool TakeRange(const QStringList &arguments, QString &from, QString &to)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const QString name = a.section(QLatin1Char('='), 0, 0);
        QString *value = name == QLatin1String("--from") ? &from : name == QLatin1String("--to") ? &to : nullptr;
        if (!value)
            return false;
        if (a.contains(QLatin1Char('=')))
            *value = a.section(QLatin1Char('='), 1);
        else if (i + 1 < arguments.size())
            *value = arguments[++i];
        else
            return false;
    }
    return !from.isNull() && !to.isNull();
}

// One download into `table`, archived unless --no-archive (the archive first reads the identity the download
// is filed under, as the operator's window does). The archive's notices (at most one, in Korean) are printed
// after the table by the caller.
struct DownloadRun {
    JobResult result;
    bool identityRead = false;                // every identity field was read for the archive
    std::shared_ptr<DownloadArchive> archive; // waited for after the table
};

DownloadRun RunDownload(CliContext &context, Measurement &table, const Job &download, const DownloadStart &start)
{
    const ArchiveSettings settings = context.ArchiveSettingsOrOff();
    auto archive = std::make_shared<DownloadArchive>(settings.enabled ? std::optional(settings) : std::nullopt);
    context.session.SetArchive(archive);
    DownloadRun run;
    run.archive = archive;
    run.result = context.session.Run(archive->Archived(download, start), &table);
    int identityFields = 0;
    for (const ExchangeOutcome &outcome : run.result.exchanges)
        identityFields += IdentityFieldIndex(outcome.command) >= 0 && outcome.code >= 0 ? 1 : 0;
    run.identityRead = identityFields == int(kIdentityFields.size());
    return run;
}

// Tells how many records of the download arrived damaged and were left out; the failure exit status
// when there were any.
int ReportDamagedRecords(CliContext &context, int damaged)
{
    if (damaged == 0)
        return kExitOk;
    context.err << DamagedRecordsText(damaged) << Qt::endl;
    return kExitInstrumentFailed;
}

// After a download: the archive's notices and the damaged records; then, when it worked, the files asked for.
int FinishDownload(CliContext &context, const ReportOptions &report, Measurement &table, const DownloadRun &run)
{
    const JobResult &result = run.result;
    // The program waits for its archive before it ends (the archive bounds its own waits).
    const ArchiveOutcome archived = run.archive ? run.archive->WaitForArchive() : ArchiveOutcome{};
    for (const QString &notice : archived.notices)
        context.err << notice << Qt::endl;
    for (const QString &text : archived.databaseTexts)
        PrintArchiveDetail(context.err, {ArchiveError::Kind::Other, text});
    if (result.code < 0) {
        const int failed = context.Fail(result.code);
        ReportDamagedRecords(context, result.damaged);
        return failed;
    }
    const int damaged = ReportDamagedRecords(context, result.damaged);
    if (!report.AnyOutput())
        return damaged;
    table.madeAt = result.moment;
    if (run.identityRead)
        table.identity = SessionJobs::IdentityFromExchanges(result.exchanges);
    const int written = WriteReports(context, report, table);
    return written != kExitOk ? written : damaged;
}

int RunMemory(CliContext &context, const QStringList &arguments)
{
    QStringList own = arguments;
    ReportOptions report;
    if (!TakeReportOptions(own, ReportMode::Memory, report, context.err))
        return kExitUsage;
    QString fromText, toText;
    if (!TakeRange(own, fromText, toText)) {
        context.err << "memory needs --from YYYY-MM-DD --to YYYY-MM-DD" << Qt::endl;
        return kExitUsage;
    }
    const std::optional<qint64> from = ParseDay(fromText);
    const std::optional<qint64> to = ParseDay(toText);
    if (!from || !to) {
        context.err << "memory needs --from YYYY-MM-DD --to YYYY-MM-DD" << Qt::endl;
        return kExitUsage;
    }
    if (!context.Connect())
        return kExitInstrumentFailed;

    Measurement table(MeasurementMode::Memory);
    DownloadStart start;
    start.mode = DownloadMode::Memory;
    start.rangeFrom = *from;
    start.rangeTo = *to;
    const DownloadRun run =
        RunDownload(context, table, SessionJobs::StoredDownload(*from, *to, kStoredRecordSheet), start);

    PrintDownloadTable(context.out, table);
    // With damaged records left out, "no data" would not be true.
    if (run.result.code >= 0 && run.result.rows == 0 && run.result.damaged == 0)
        context.err << QStringLiteral("메모리 데이터 없음!") << Qt::endl;
    return FinishDownload(context, report, table, run);
}

int RunOutput(CliContext &context, const QStringList &arguments)
{
    QStringList own = arguments;
    ReportOptions report;
    if (!TakeReportOptions(own, ReportMode::Output, report, context.err))
        return kExitUsage;
    if (!own.isEmpty()) {
        context.err << "output: unknown argument " << own.first() << Qt::endl;
        return kExitUsage;
    }
    if (!context.Connect())
        return kExitInstrumentFailed;

    Measurement table(MeasurementMode::Output);
    DownloadStart start;
    start.mode = DownloadMode::Output;
    const DownloadRun run = RunDownload(context, table, SessionJobs::ContinuousDownload(kContinuousSheet), start);

    PrintDownloadTable(context.out, table);
    return FinishDownload(context, report, table, run);
}

const QString kMemoryUsage =
    QStringLiteral("--from YYYY-MM-DD --to YYYY-MM-DD ") + ReportOptionsUsage(ReportMode::Memory);
const QString kOutputUsage = ReportOptionsUsage(ReportMode::Output);
const QByteArray kMemoryUsageText = kMemoryUsage.toUtf8();
const QByteArray kOutputUsageText = kOutputUsage.toUtf8();
const CliCommandRegistration kMemory("memory", kMemoryUsageText.constData(), RunMemory);
const CliCommandRegistration kOutput("output", kOutputUsageText.constData(), RunOutput);

} // namespace

void PrintDownloadTable(QTextStream &out, const Measurement &table)
{
    for (const TableLine &line : DownloadTableLines(table))
        PrintLine(out, line.texts);
    out.flush();
}
