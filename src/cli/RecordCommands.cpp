// memory and output: the two downloads as tab-separated text, taken from the same sheets the operator's
// window shows, archived as they arrive, and optionally the report workbook of them.

#include "RecordCommands.h"

#include "DownloadReportFiles.h"

#include "ArchivingLinkOwner.h"
#include "CFt260.h"
#include "CSpreadSheet.h"
#include "ChartRecordSink.h"
#include "CliCommand.h"
#include "Clock.h"
#include "LocalTime.h"
#include "RecordTables.h"
#include "ReportCommands.h"
#include "SheetRecordSink.h"

#include <QDate>

#include <functional>

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

// The link hands its records to `sink` for the length of one download, then to its former owner again.
class BorrowedOwner {
  public:
    BorrowedOwner(CFt260 &link, LinkOwner &owner) : m_link(link), m_previous(link.Owner()) { m_link.SetOwner(&owner); }
    ~BorrowedOwner() { m_link.SetOwner(m_previous); }

  private:
    CFt260 &m_link;
    LinkOwner *m_previous;
};

// One download into `sink`, archived unless --no-archive. Returns the link's result; the archive's notices
// (at most one, in Korean) are printed after the table by the caller.
struct DownloadRun {
    int result = 0;
    qint64 downloadTime = 0;
    InstrumentIdentity identity;
    bool identityRead = false;
    QStringList notices;
    QStringList databaseTexts; // the databases' own texts behind the notices
};

DownloadRun RunDownload(CliContext &context, LinkOwner &sink, DownloadStart start, const std::function<int()> &download,
                        const std::function<int()> &rowCount)
{
    DownloadRun run;
    run.downloadTime = context.clock.Now();
    const ArchiveSettings settings = context.ArchiveSettingsOrOff();
    if (!settings.enabled) {
        BorrowedOwner borrowed(context.link, sink);
        run.result = download();
        return run;
    }
    // The identity the download is filed under, read as the operator's window reads it at connect.
    run.identityRead = ReadInstrumentIdentity(context, run.identity);
    ArchivingLinkOwner archiving(sink, settings);
    start.identity = run.identity;
    start.host = StationHostName();
    start.osUser = StationOsUser();
    start.startedAt = run.downloadTime;
    archiving.BeginDownload(start);
    {
        BorrowedOwner borrowed(context.link, archiving);
        run.result = download();
    }
    archiving.FinishDownload(run.result, rowCount(), context.clock.Now(), context.link.DamagedRecordCount());
    run.notices = archiving.TakeNotices();
    run.databaseTexts = archiving.DatabaseTexts();
    return run;
}

void PrintNotices(CliContext &context, const QStringList &notices)
{
    for (const QString &notice : notices)
        context.err << notice << Qt::endl;
}

// Tells how many records of the download arrived damaged and were left out; the failure exit status
// when there were any.
int ReportDamagedRecords(CliContext &context)
{
    const int damaged = context.link.DamagedRecordCount();
    if (damaged == 0)
        return kExitOk;
    context.err << DamagedRecordsText(damaged) << Qt::endl;
    return kExitInstrumentFailed;
}

// After a download: the archive's notices and the damaged records; then, when it worked, the files asked for.
int FinishDownload(CliContext &context, const ReportOptions &report, ReportMode mode, CSpreadSheet &grid,
                   ChartRecords &raw, const DownloadRun &run)
{
    PrintNotices(context, run.notices);
    for (const QString &text : run.databaseTexts)
        PrintArchiveDetail(context.err, {ArchiveError::Kind::Other, text});
    if (run.result < 0) {
        const int failed = context.Fail();
        ReportDamagedRecords(context);
        return failed;
    }
    const int damaged = ReportDamagedRecords(context);
    if (!report.AnyOutput())
        return damaged;
    const int written =
        WriteReports(context, report, mode, grid, raw, run.downloadTime, run.identityRead ? &run.identity : nullptr,
                     IncompleteTableText(false, 0, context.link.DamagedRecordCount()));
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

    CSpreadSheet grid;
    SetUpRecordSheets(grid, RecordSheetColors{});
    ChartRecordSink sink(grid, ChartMode::Memory, context.packetLog);
    int rows = 0;
    DownloadStart start;
    start.mode = DownloadMode::Memory;
    start.rangeFrom = *from;
    start.rangeTo = *to;
    const DownloadRun run = RunDownload(
        context, sink, start, [&] { return context.link.DownloadStoredRecords(*from, *to, &rows); },
        [&] { return rows; });

    PrintDownloadTable(context.out, grid, ReportMode::Memory);
    // With damaged records left out, "no data" would not be true.
    if (run.result >= 0 && rows == 0 && context.link.DamagedRecordCount() == 0)
        context.err << QStringLiteral("메모리 데이터 없음!") << Qt::endl;
    return FinishDownload(context, report, ReportMode::Memory, grid, sink.Records(), run);
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

    CSpreadSheet grid;
    SetUpRecordSheets(grid, RecordSheetColors{});
    grid.SetAddressedSheet(kContinuousSheet);
    ChartRecordSink sink(grid, ChartMode::Output, context.packetLog);
    DownloadStart start;
    start.mode = DownloadMode::Output;
    const DownloadRun run = RunDownload(
        context, sink, start, [&] { return context.link.DownloadContinuousRecords(); },
        [&] { return grid.GetRowCount() - kContinuousFixedRows; });

    PrintDownloadTable(context.out, grid, ReportMode::Output);
    return FinishDownload(context, report, ReportMode::Output, grid, sink.Records(), run);
}

const QString kMemoryUsage =
    QStringLiteral("--from YYYY-MM-DD --to YYYY-MM-DD ") + ReportOptionsUsage(ReportMode::Memory);
const QString kOutputUsage = ReportOptionsUsage(ReportMode::Output);
const QByteArray kMemoryUsageText = kMemoryUsage.toUtf8();
const QByteArray kOutputUsageText = kOutputUsage.toUtf8();
const CliCommandRegistration kMemory("memory", kMemoryUsageText.constData(), RunMemory);
const CliCommandRegistration kOutput("output", kOutputUsageText.constData(), RunOutput);

} // namespace

void PrintDownloadTable(QTextStream &out, const CSpreadSheet &grid, ReportMode mode)
{
    for (const QStringList &line : DownloadTableTexts(grid, mode))
        PrintLine(out, line);
    out.flush();
}
