// memory and output: the two downloads as tab-separated text, taken from the same sheets the operator's
// window shows, and optionally the report workbook of them.

#include "CFt260.h"
#include "CSpreadSheet.h"
#include "CliCommand.h"
#include "Clock.h"
#include "LocalTime.h"
#include "RecordTables.h"
#include "ReportCommands.h"
#include "SheetRecordSink.h"

#include <QDate>

#include <optional>

namespace {

// Seconds since 1970 of a "YYYY-MM-DD" day at 00:00 local time.
std::optional<qint64> ParseDay(const QString &text)
{
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return std::nullopt;
    return LocalTimeFromFields({day.year(), day.month(), day.day(), 0, 0, 0});
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

void PrintLine(QTextStream &out, const QStringList &texts)
{
    out << texts.join(QLatin1Char('\t')) << '\n';
}

void PrintRows(QTextStream &out, const CSpreadSheet &grid, int firstRow, int firstCol)
{
    for (int row = firstRow; row <= grid.GetRowCount(); ++row) {
        QStringList texts;
        for (int col = firstCol; col <= grid.GetColumnCount(); ++col)
            texts << grid.text(col, row);
        PrintLine(out, texts);
    }
    out.flush();
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

// After a download that worked: the damaged records, then the workbook if one was asked for.
int FinishDownload(CliContext &context, const ReportOptions &report, ReportMode mode, CSpreadSheet &grid,
                   qint64 downloadTime)
{
    const int damaged = ReportDamagedRecords(context);
    if (report.xlsPath.isEmpty())
        return damaged;
    const int written = WriteReportWorkbook(context, report, mode, grid, downloadTime);
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
    SheetRecordSink sink(grid, RecordSheetColors().textColor, context.packetLog);
    int rows = 0;
    const qint64 downloadTime = context.clock.Now();
    int result;
    {
        BorrowedOwner borrowed(context.link, sink);
        result = context.link.DownloadStoredRecords(*from, *to, &rows);
    }

    QStringList headers;
    for (int col = 2; col <= kStoredColumnCount; ++col)
        headers << grid.Sheet(kStoredRecordSheet)->Text(col, grid::kHeader);
    PrintLine(context.out, headers);
    PrintRows(context.out, grid, 1, 2);
    if (result < 0) {
        const int failed = context.Fail();
        ReportDamagedRecords(context);
        return failed;
    }
    // With damaged records left out, "no data" would not be true.
    if (rows == 0 && context.link.DamagedRecordCount() == 0)
        context.err << QStringLiteral("메모리 데이터 없음!") << Qt::endl;
    return FinishDownload(context, report, ReportMode::Memory, grid, downloadTime);
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
    SheetRecordSink sink(grid, RecordSheetColors().textColor, context.packetLog);
    const qint64 downloadTime = context.clock.Now();
    int result;
    {
        BorrowedOwner borrowed(context.link, sink);
        result = context.link.DownloadContinuousRecords();
    }

    PrintRows(context.out, grid, 1, 1);
    if (result < 0) {
        const int failed = context.Fail();
        ReportDamagedRecords(context);
        return failed;
    }
    return FinishDownload(context, report, ReportMode::Output, grid, downloadTime);
}

const QString kMemoryUsage =
    QStringLiteral("--from YYYY-MM-DD --to YYYY-MM-DD ") + ReportOptionsUsage(ReportMode::Memory);
const QString kOutputUsage = ReportOptionsUsage(ReportMode::Output);
const QByteArray kMemoryUsageText = kMemoryUsage.toUtf8();
const QByteArray kOutputUsageText = kOutputUsage.toUtf8();
const CliCommandRegistration kMemory("memory", kMemoryUsageText.constData(), RunMemory);
const CliCommandRegistration kOutput("output", kOutputUsageText.constData(), RunOutput);

} // namespace
