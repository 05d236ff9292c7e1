// press and due: the press register (presses, checks, due dates) in the archive.

#include "ArchiveRecorder.h"
#include "CliCommand.h"
#include "CliSession.h"
#include "Clock.h"
#include "DueDates.h"
#include "LimitsSettings.h"
#include "LocalTime.h"
#include "MeasurementArchive.h"
#include "PressHistoryPdf.h"
#include "PressRegister.h"

#include <QHash>

#include <algorithm>
#include <memory>

namespace {

const char *const kPressUsage =
    "add ID --name NAME --class 10-13|15|25-30 [--interval DAYS] [--limits LOW,HIGH] [--location TEXT]"
    " | edit ID [the options of add] | retire ID | list [--all] | assign ID --download N [--rows LIST] [--yes]"
    " | show ID [--pdf FILE]";
const char *const kDueUsage = "[--within DAYS]";

// A command's options: "--name VALUE", "--name=VALUE" for the ones that take a value, "--flag" for the others.
struct PressArguments {
    QStringList positional;
    QHash<QString, QString> values;
    QStringList flags;
};

std::optional<PressArguments> ParseArguments(const QStringList &arguments, const QStringList &valueOptions,
                                             const QStringList &flagOptions)
{
    PressArguments parsed;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (valueOptions.contains(name)) {
            if (a.contains(QLatin1Char('=')))
                parsed.values[name] = a.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                parsed.values[name] = arguments[++i];
            else
                return std::nullopt;
        } else if (flagOptions.contains(a)) {
            parsed.flags << a;
        } else if (a.startsWith(QLatin1String("--"))) {
            return std::nullopt;
        } else {
            parsed.positional << a;
        }
    }
    return parsed;
}

int Usage(CliContext &context, const char *command, const char *usage)
{
    context.err << command << ' ' << usage << Qt::endl;
    return kExitUsage;
}

// The register's archive (--database / [ARCHIVE] DATABASE=); null after printing why there is none. For
// reading, an SQLite archive not made yet sets *missing and is told as empty.
std::unique_ptr<MeasurementArchive> OpenRegister(CliContext &context, MeasurementArchive::Purpose purpose,
                                                 bool *missing = nullptr)
{
    if (context.archive.disabled) {
        context.err << "--no-archive: the press register lives in the archive" << Qt::endl;
        return nullptr;
    }
    const ArchiveSettings settings = context.ArchiveSettingsOrOff();
    if (!settings.enabled)
        return nullptr;
    auto archive = std::make_unique<MeasurementArchive>(settings.location);
    if (archive->Open(purpose))
        return archive;
    if (archive->LastError().kind == ArchiveError::Kind::Missing && missing) {
        *missing = true;
        return nullptr;
    }
    context.err << QStringLiteral("설비 대장 열기 실패 - %1: %2")
                       .arg(archive->LastError().Reason(), settings.location.Describe())
                << Qt::endl;
    PrintArchiveDetail(context.err, archive->LastError());
    return nullptr;
}

int RegisterFailed(CliContext &context, const PressRegister &presses, MeasurementArchive &archive)
{
    context.err << presses.Failure() << Qt::endl;
    PrintArchiveDetail(context.err, archive.LastError());
    return kExitInstrumentFailed;
}

// The options of add and edit into press; false after printing what is wrong.
bool TakePressOptions(CliContext &context, const PressArguments &arguments, Press &press)
{
    const auto &v = arguments.values;
    if (v.contains("--name"))
        press.name = v["--name"];
    if (v.contains("--location"))
        press.location = v["--location"];
    if (v.contains("--class")) {
        const std::optional<int> pressClass = PressClassFromText(v["--class"]);
        if (!pressClass) {
            context.err << QStringLiteral("설비 등급은 10-13, 15, 25-30 중 하나입니다: ") << v["--class"] << Qt::endl;
            return false;
        }
        press.pressClass = *pressClass;
    }
    if (v.contains("--interval")) {
        bool ok = false;
        press.intervalDays = v["--interval"].toInt(&ok);
        if (!ok) {
            context.err << QStringLiteral("점검 주기는 일 수입니다: ") << v["--interval"] << Qt::endl;
            return false;
        }
    }
    if (v.contains("--limits")) {
        // An empty value takes the press's own range away: the station's class limits judge it again.
        QString error;
        press.range = PressClassLimits::ParseRange(v["--limits"], &error);
        if (!error.isEmpty()) {
            context.err << error << Qt::endl;
            return false;
        }
    }
    return true;
}

const QStringList kPressOptions{"--name", "--class", "--interval", "--limits", "--location"};

int RunAddOrEdit(CliContext &context, const QStringList &arguments, bool add)
{
    const std::optional<PressArguments> parsed = ParseArguments(arguments, kPressOptions, {});
    if (!parsed || parsed->positional.size() != 1 ||
        (add && (!parsed->values.contains("--name") || !parsed->values.contains("--class"))))
        return Usage(context, "press", kPressUsage);
    const std::unique_ptr<MeasurementArchive> archive = OpenRegister(context, MeasurementArchive::Purpose::Write);
    if (!archive)
        return kExitInstrumentFailed;
    PressRegister presses(*archive);
    Press press;
    press.id = parsed->positional.first();
    if (!add) {
        const std::optional<Press> found = presses.FindPress(press.id);
        if (!found) {
            if (archive->LastError().kind == ArchiveError::Kind::None)
                context.err << QStringLiteral("등록되지 않은 설비입니다: %1").arg(press.id) << Qt::endl;
            else
                return RegisterFailed(context, presses, *archive);
            return kExitInstrumentFailed;
        }
        press = *found;
    }
    if (!TakePressOptions(context, *parsed, press))
        return kExitUsage;
    if (!(add ? presses.AddPress(press) : presses.EditPress(press)))
        return RegisterFailed(context, presses, *archive);
    return kExitOk;
}

int RunRetire(CliContext &context, const QStringList &arguments)
{
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1String("--")))
        return Usage(context, "press", kPressUsage);
    const std::unique_ptr<MeasurementArchive> archive = OpenRegister(context, MeasurementArchive::Purpose::Write);
    if (!archive)
        return kExitInstrumentFailed;
    PressRegister presses(*archive);
    return presses.RetirePress(arguments.first()) ? kExitOk : RegisterFailed(context, presses, *archive);
}

struct PressLine {
    PressOverview overview;
    DueDate due;
};

const char *const kPressListHeading = "id\tname\tclass\tlocation\tinterval\tlast_check\tverdict\tdue\tstate\n";

void PrintPressLine(QTextStream &out, const PressLine &line)
{
    const Press &p = line.overview.press;
    out << TsvText(p.id) << '\t' << TsvText(p.name) << '\t' << PressClassLimits::ClassName(p.pressClass) << '\t'
        << TsvText(p.location) << '\t' << p.intervalDays << '\t'
        << (line.overview.lastCheckAt ? LocalDateOf(*line.overview.lastCheckAt).toString(Qt::ISODate) : QString())
        << '\t' << VerdictText(line.overview.lastVerdict) << '\t' << line.due.due.toString(Qt::ISODate) << '\t'
        << DueStateText(line.due.state) << '\n';
}

// The presses with their due dates; nullopt after printing why not. An archive not made yet has none.
std::optional<QList<PressLine>> LoadPressLines(CliContext &context, bool includeRetired)
{
    bool missing = false;
    const std::unique_ptr<MeasurementArchive> archive =
        OpenRegister(context, MeasurementArchive::Purpose::Read, &missing);
    if (missing)
        return QList<PressLine>();
    if (!archive)
        return std::nullopt;
    PressRegister presses(*archive);
    const std::optional<QList<PressOverview>> overviews = presses.ListPresses(includeRetired);
    if (!overviews) {
        RegisterFailed(context, presses, *archive);
        return std::nullopt;
    }
    const qint64 now = context.session.GetClock().Now();
    QList<PressLine> lines;
    lines.reserve(overviews->size());
    for (const PressOverview &overview : *overviews)
        lines.append({overview, DueDateOf(overview.lastCheckAt, overview.press.intervalDays, now)});
    return lines;
}

int RunList(CliContext &context, const QStringList &arguments)
{
    if (!arguments.isEmpty() && arguments != QStringList{QStringLiteral("--all")})
        return Usage(context, "press", kPressUsage);
    const std::optional<QList<PressLine>> lines = LoadPressLines(context, !arguments.isEmpty());
    if (!lines)
        return kExitInstrumentFailed;
    context.out << kPressListHeading;
    for (const PressLine &line : *lines)
        PrintPressLine(context.out, line);
    context.out.flush();
    return kExitOk;
}

// "1,3,5-9" into row numbers; nullopt for anything else.
std::optional<QList<int>> ParseRows(const QString &text)
{
    QList<int> rows;
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool firstOk = false, lastOk = true;
        const int first = part.section(QLatin1Char('-'), 0, 0).trimmed().toInt(&firstOk);
        const int last =
            part.contains(QLatin1Char('-')) ? part.section(QLatin1Char('-'), 1).trimmed().toInt(&lastOk) : first;
        if (!firstOk || !lastOk || first < 1 || last < first || last - first > 100000)
            return std::nullopt;
        for (int row = first; row <= last; ++row)
            rows << row;
    }
    return rows;
}

int RunAssign(CliContext &context, const QStringList &arguments)
{
    const std::optional<PressArguments> parsed = ParseArguments(arguments, {"--download", "--rows"}, {"--yes"});
    bool downloadOk = false;
    const qint64 download = parsed ? parsed->values.value("--download").toLongLong(&downloadOk) : 0;
    std::optional<QList<int>> rows = QList<int>();
    if (parsed && parsed->values.contains("--rows"))
        rows = ParseRows(parsed->values["--rows"]);
    if (!parsed || parsed->positional.size() != 1 || !downloadOk || !rows)
        return Usage(context, "press", kPressUsage);
    const QString pressId = parsed->positional.first();
    const std::unique_ptr<MeasurementArchive> archive = OpenRegister(context, MeasurementArchive::Purpose::Write);
    if (!archive)
        return kExitInstrumentFailed;
    PressRegister presses(*archive);
    const std::optional<std::vector<RegisterRecord>> records = presses.DownloadRecords(download, *rows);
    if (!records)
        return RegisterFailed(context, presses, *archive);
    const std::optional<AssignmentQuestions> questions = presses.Questions(pressId, *records);
    if (!questions)
        return RegisterFailed(context, presses, *archive);
    const bool yes = parsed->flags.contains("--yes");
    for (const QString &question : questions->Texts())
        context.err << question << Qt::endl;
    if (questions->AnyQuestion() && !yes) {
        context.err << QStringLiteral("지정하지 않았습니다: 그래도 지정하려면 --yes를 붙입니다") << Qt::endl;
        return kExitInstrumentFailed;
    }
    CheckAuthor author{StationOsUser(), StationHostName(), LoadPressClassLimits(ProgramIniPath()),
                       context.session.GetClock().Now()};
    const std::optional<AssignmentResult> result = presses.Assign(pressId, *records, author);
    if (!result)
        return RegisterFailed(context, presses, *archive);
    if (result->alreadyAssigned)
        context.err << QStringLiteral("이미 이 설비의 점검 %1로 지정된 기록입니다").arg(result->check.id) << Qt::endl;
    context.out << "check\trecords\tverdict\n"
                << result->check.id << '\t' << result->check.statistics.count << '\t'
                << VerdictText(result->check.verdict) << '\n';
    context.out.flush();
    return kExitOk;
}

int RunShow(CliContext &context, const QStringList &arguments)
{
    const std::optional<PressArguments> parsed = ParseArguments(arguments, {"--pdf"}, {});
    if (!parsed || parsed->positional.size() != 1 ||
        (parsed->values.contains("--pdf") && parsed->values["--pdf"].isEmpty()))
        return Usage(context, "press", kPressUsage);
    const QString pressId = parsed->positional.first();
    const std::unique_ptr<MeasurementArchive> archive = OpenRegister(context, MeasurementArchive::Purpose::Read);
    if (!archive)
        return kExitInstrumentFailed;
    PressRegister presses(*archive);
    const std::optional<PressHistory> history =
        LoadPressHistory(presses, pressId, LoadPressClassLimits(ProgramIniPath()), context.session.GetClock().Now());
    if (!history) {
        if (archive->LastError().kind != ArchiveError::Kind::None)
            return RegisterFailed(context, presses, *archive);
        context.err << QStringLiteral("등록되지 않은 설비입니다: %1").arg(pressId) << Qt::endl;
        return kExitInstrumentFailed;
    }
    context.out << "check\tmeasured\trecords\tmean\tmin\tmax\tverdict\n";
    for (const PressCheck &c : history->checks)
        context.out << c.id << '\t' << FormatLocalTime(c.measuredAt) << '\t' << c.statistics.count << '\t'
                    << QString::number(c.statistics.mean, 'f', 2) << '\t'
                    << QString::number(c.statistics.minimum, 'f', 1) << '\t'
                    << QString::number(c.statistics.maximum, 'f', 1) << '\t' << VerdictText(c.verdict) << '\n';
    context.out.flush();
    if (!parsed->values.contains("--pdf"))
        return kExitOk;
    QString error;
    if (!WritePressHistoryPdf(parsed->values["--pdf"], *history, &error)) {
        context.err << "PDF 저장 실패 : " << error << Qt::endl;
        return kExitInstrumentFailed;
    }
    return kExitOk;
}

int RunPress(CliContext &context, const QStringList &arguments)
{
    const QString sub = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (sub == QLatin1String("add") || sub == QLatin1String("edit"))
        return RunAddOrEdit(context, rest, sub == QLatin1String("add"));
    if (sub == QLatin1String("retire"))
        return RunRetire(context, rest);
    if (sub == QLatin1String("list"))
        return RunList(context, rest);
    if (sub == QLatin1String("assign"))
        return RunAssign(context, rest);
    if (sub == QLatin1String("show"))
        return RunShow(context, rest);
    return Usage(context, "press", kPressUsage);
}

int RunDue(CliContext &context, const QStringList &arguments)
{
    const std::optional<PressArguments> parsed = ParseArguments(arguments, {"--within"}, {});
    bool ok = true;
    const int within =
        parsed && parsed->values.contains("--within") ? parsed->values["--within"].toInt(&ok) : DueDate::kSoonDays;
    if (!parsed || !parsed->positional.isEmpty() || !ok || within < 0)
        return Usage(context, "due", kDueUsage);
    std::optional<QList<PressLine>> lines = LoadPressLines(context, false);
    if (!lines)
        return kExitInstrumentFailed;
    QList<PressLine> due;
    for (const PressLine &line : *lines)
        if (line.due.daysLeft <= within)
            due << line;
    // Most overdue first; the register's order among presses due the same day.
    std::stable_sort(due.begin(), due.end(),
                     [](const PressLine &a, const PressLine &b) { return a.due.due < b.due.due; });
    context.out << kPressListHeading;
    for (const PressLine &line : due)
        PrintPressLine(context.out, line);
    context.out.flush();
    return kExitOk;
}

const CliCommandRegistration kPress("press", kPressUsage, RunPress);
const CliCommandRegistration kDue("due", kDueUsage, RunDue);

} // namespace
