// history, history show and archive sync: what the archive holds, read back without an instrument.

#include "ArchiveSetup.h"
#include "ArchiveSync.h"
#include "ArchivingLinkOwner.h"
#include "CliCommand.h"
#include "DownloadReportFiles.h"
#include "LocalTime.h"
#include "MeasurementArchive.h"
#include "RecordCommands.h"
#include "ReportCommands.h"

#include <QDate>

#include <memory>

namespace {

// The archive of --database / [ARCHIVE] DATABASE=, opened for reading; null after printing the reason.
// With missingIsEmpty, an SQLite archive not made yet is told as empty and *missingIsEmpty set.
std::unique_ptr<MeasurementArchive> OpenForReading(CliContext &context, bool *missingIsEmpty = nullptr)
{
    if (context.archive.disabled) {
        context.err << "--no-archive: there is no archive to read" << Qt::endl;
        return nullptr;
    }
    const ArchiveSettings settings = context.ArchiveSettingsOrOff();
    if (!settings.enabled)
        return nullptr;
    auto archive = std::make_unique<MeasurementArchive>(settings.location);
    if (!archive->Open(MeasurementArchive::Purpose::Read)) {
        if (archive->LastError().kind == ArchiveError::Kind::Missing && missingIsEmpty) {
            // A new installation: no download has been archived yet, which is not a failure.
            *missingIsEmpty = true;
            context.err << QStringLiteral("아직 보관된 다운로드가 없습니다: %1").arg(settings.location.Describe())
                        << Qt::endl;
            return nullptr;
        }
        context.err << QStringLiteral("기록 읽기 실패 - %1: %2")
                           .arg(archive->LastError().Reason(), settings.location.Describe())
                    << Qt::endl;
        PrintArchiveDetail(context.err, archive->LastError());
        return nullptr;
    }
    return archive;
}

// A text as one TSV field: tabs, line breaks and backslashes escaped, so that no text makes a line.
QString TsvText(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return text;
}

int RunHistoryList(CliContext &context, const QStringList &arguments)
{
    DownloadFilter filter;
    for (int i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i].section(QLatin1Char('='), 0, 0);
        QString value;
        if (arguments[i].contains(QLatin1Char('=')))
            value = arguments[i].section(QLatin1Char('='), 1);
        else if (i + 1 < arguments.size())
            value = arguments[++i];
        else
            name.clear();
        if (name == QLatin1String("--instrument")) {
            filter.serial = value;
        } else if (name == QLatin1String("--from") && ParseDay(value)) {
            filter.from = ParseDay(value);
        } else if (name == QLatin1String("--to") && ParseDay(value)) {
            // Through the whole of the last day.
            const QDate next = QDate::fromString(value, QStringLiteral("yyyy-MM-dd")).addDays(1);
            filter.before = ParseDay(next.toString(QStringLiteral("yyyy-MM-dd")));
        } else {
            context.err << "history takes [--instrument PART-OF-SERIAL] [--from YYYY-MM-DD] [--to YYYY-MM-DD], "
                           "or show ID"
                        << Qt::endl;
            return kExitUsage;
        }
    }
    const char *const heading = "id\tinstrument\tstarted\tmode\trows\tresult\tcomplete\tdamaged\n";
    bool nothingYet = false;
    const std::unique_ptr<MeasurementArchive> archive = OpenForReading(context, &nothingYet);
    if (nothingYet) {
        context.out << heading;
        context.out.flush();
        return kExitOk;
    }
    if (!archive)
        return kExitInstrumentFailed;
    const std::optional<QList<DownloadSummary>> downloads = archive->ListDownloads(filter);
    if (!downloads) {
        context.err << QStringLiteral("기록 읽기 실패 - %1").arg(archive->LastError().Reason()) << Qt::endl;
        return kExitInstrumentFailed;
    }
    context.out << heading;
    for (const DownloadSummary &d : *downloads)
        context.out << d.id << '\t' << TsvText(d.identity.Serial()) << '\t' << FormatLocalTime(d.startedAt) << '\t'
                    << DownloadModeName(d.mode) << '\t' << d.rowCount << '\t'
                    << (d.resultCode ? QString::number(*d.resultCode) : QString()) << '\t' << (d.complete ? 1 : 0)
                    << '\t' << d.damaged << '\n';
    context.out.flush();
    return kExitOk;
}

int RunHistoryShow(CliContext &context, const QStringList &arguments)
{
    QStringList own = arguments;
    bool ok = false;
    const qint64 id = own.isEmpty() ? 0 : own.takeFirst().toLongLong(&ok);
    // The report options are checked again below, against the download's mode.
    ReportOptions report;
    QStringList rest = own;
    if (!ok || !TakeReportOptions(rest, ReportMode::Memory, report, context.err) || !rest.isEmpty()) {
        context.err << "history show ID " << ReportOptionsUsage(ReportMode::Memory) << Qt::endl;
        return kExitUsage;
    }
    bool nothingYet = false; // told by OpenForReading; the download asked for is not there either way
    const std::unique_ptr<MeasurementArchive> archive = OpenForReading(context, &nothingYet);
    if (!archive)
        return kExitInstrumentFailed;
    const std::optional<ArchivedDownload> download = archive->LoadDownload(id);
    if (!download) {
        if (archive->LastError().kind == ArchiveError::Kind::None)
            context.err << QStringLiteral("보관된 다운로드가 없습니다: %1").arg(id) << Qt::endl;
        else
            context.err << QStringLiteral("기록 읽기 실패 - %1").arg(archive->LastError().Reason()) << Qt::endl;
        return kExitInstrumentFailed;
    }
    const ReportMode mode = download->summary.mode == DownloadMode::Memory ? ReportMode::Memory : ReportMode::Output;
    if (mode == ReportMode::Output) {
        report = {};
        if (!TakeReportOptions(own, mode, report, context.err))
            return kExitUsage;
    }
    ArchivedTable table(*download);
    PrintDownloadTable(context.out, table.Grid(), mode);
    if (!report.AnyOutput())
        return kExitOk;
    return WriteReports(context, report, mode, table.Grid(), table.Records(), download->summary.startedAt,
                        &download->summary.identity, table.IncompleteWhy());
}

int RunHistory(CliContext &context, const QStringList &arguments)
{
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("show"))
        return RunHistoryShow(context, arguments.mid(1));
    return RunHistoryList(context, arguments);
}

const char *const kArchiveUsage = "sync | setup [--station-role NAME] [--reader-role NAME]";

// The server of --database / [ARCHIVE] DATABASE=; nullopt after telling why there is none.
std::optional<ArchiveSettings> ServerSettings(CliContext &context, const char *command)
{
    const ArchiveSettings settings = context.ArchiveSettingsOrOff();
    if (!settings.enabled)
        return std::nullopt;
    if (!settings.location.IsServer()) {
        context.err << "archive " << command
                    << " works on a PostgreSQL server: give --database postgresql://... or [ARCHIVE] DATABASE="
                    << Qt::endl;
        return std::nullopt;
    }
    return settings;
}

int RunArchiveSetup(CliContext &context, const QStringList &arguments)
{
    ArchiveRoles roles;
    for (int i = 0; i < arguments.size(); i += 2) {
        const QString value = arguments.value(i + 1);
        if (arguments[i] == QLatin1String("--station-role") && !value.isEmpty()) {
            roles.station = value;
        } else if (arguments[i] == QLatin1String("--reader-role") && !value.isEmpty()) {
            roles.reader = value;
        } else {
            context.err << "archive " << kArchiveUsage << Qt::endl;
            return kExitUsage;
        }
    }
    const std::optional<ArchiveSettings> settings = ServerSettings(context, "setup");
    if (!settings)
        return kExitUsage;
    MeasurementArchive server(settings->location);
    QString failure;
    if (!server.Open())
        failure = server.LastError().Reason();
    else
        failure = SetUpServerArchive(server, roles);
    if (!failure.isEmpty()) {
        context.err << QStringLiteral("기록 서버 준비 실패 - %1: %2").arg(failure, settings->location.Describe())
                    << Qt::endl;
        PrintArchiveDetail(context.err, server.LastError());
        return kExitInstrumentFailed;
    }
    context.err << QStringLiteral("기록 서버 보관소를 준비했습니다: %1 (스키마 %2, 측정 PC 역할 %3, 읽기 전용 역할 %4)")
                       .arg(settings->location.Describe(), settings->location.schema, roles.station, roles.reader)
                << Qt::endl;
    return kExitOk;
}

int RunArchiveSync(CliContext &context)
{
    const std::optional<ArchiveSettings> serverSettings = ServerSettings(context, "sync");
    if (!serverSettings)
        return kExitUsage;
    const ArchiveSettings &settings = *serverSettings;
    MeasurementArchive local(settings.local);
    if (!local.Open(MeasurementArchive::Purpose::Read)) {
        if (local.LastError().kind == ArchiveError::Kind::Missing) {
            context.err << QStringLiteral("보낼 기록이 없습니다") << Qt::endl;
            return kExitOk;
        }
        context.err
            << QStringLiteral("기록 읽기 실패 - %1: %2").arg(local.LastError().Reason(), settings.local.Describe())
            << Qt::endl;
        PrintArchiveDetail(context.err, local.LastError());
        return kExitInstrumentFailed;
    }
    MeasurementArchive server(settings.location);
    if (!server.Open()) {
        context.err << QStringLiteral("기록 보내기 실패 - %1: %2")
                           .arg(server.LastError().Reason(), settings.location.Describe())
                    << Qt::endl;
        PrintArchiveDetail(context.err, server.LastError());
        return kExitInstrumentFailed;
    }
    const SyncResult result = SendPendingDownloads(local, server);
    if (!result.error.isEmpty()) {
        context.err << QStringLiteral("기록 읽기 실패 - %1: %2").arg(result.error, settings.local.Describe())
                    << Qt::endl;
        return kExitInstrumentFailed;
    }
    context.err << QStringLiteral("기록 서버로 보낸 다운로드 %1건, 남은 다운로드 %2건")
                       .arg(result.sent)
                       .arg(result.waiting.size())
                << Qt::endl;
    for (const WaitingDownload &waiting : result.waiting) {
        context.err << QStringLiteral("남은 다운로드 %1: %2").arg(waiting.id).arg(waiting.reason) << Qt::endl;
        PrintArchiveDetail(context.err, {ArchiveError::Kind::Other, waiting.detail});
    }
    return result.waiting.isEmpty() ? kExitOk : kExitInstrumentFailed;
}

int RunArchive(CliContext &context, const QStringList &arguments)
{
    if (arguments == QStringList{QStringLiteral("sync")})
        return RunArchiveSync(context);
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("setup"))
        return RunArchiveSetup(context, arguments.mid(1));
    context.err << "archive " << kArchiveUsage << Qt::endl;
    return kExitUsage;
}

const QByteArray kHistoryUsage =
    (QStringLiteral("[--instrument PART-OF-SERIAL] [--from YYYY-MM-DD] [--to YYYY-MM-DD] | show ID ") +
     ReportOptionsUsage(ReportMode::Memory))
        .toUtf8();
const CliCommandRegistration kHistory("history", kHistoryUsage.constData(), RunHistory);
const CliCommandRegistration kArchive("archive", kArchiveUsage, RunArchive);

} // namespace
