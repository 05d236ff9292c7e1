// Builds an SQLite archive of 1,000 presses with 100,000 checks of 1,000,000 stored records and times what
// the register window and `tonvale-cli press list` do with it: every press with its latest check and due date.
// On SQLite, and on a throwaway PostgreSQL server when Debian's postgresql is installed.
// Usage: tonvale_bench_register [RUNS]
#include "DueDates.h"
#include "MeasurementArchive.h"
#include "PressRegister.h"
#include "archive/PostgresCluster.h"

#include "RegisterWindow.h"
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPresses = 1000;
constexpr int kChecks = 100000;
constexpr int kRecords = 1000000;

const QStringList &SqliteFill()
{
    static const QStringList statements{
        "BEGIN",
        "INSERT INTO instruments (id, instrument_key, serial) VALUES (1, 'S:BENCH', 'BENCH')",
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)"
        " INSERT INTO presses (id, name, location, press_class, interval_days, range_low, range_high)"
        " SELECT printf('P-%04d', i), printf('프레스 %d', i), printf('%d라인', i % 12), i % 3, 7 + i % 60,"
        " CASE WHEN i % 2 = 0 THEN 100 END, CASE WHEN i % 2 = 0 THEN 160 END FROM n",
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                       " INSERT INTO stored_records (id, instrument_id, record_time, raw_force, setting_code)"
                       " SELECT i, 1, strftime('%Y-%m-%d %H:%M:%S', 1672531200 + i * 60, 'unixepoch'),"
                       " 1200 + i % 200, i % 3 FROM n")
            .arg(kRecords),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                       " INSERT INTO press_checks (id, press_id, measured_at, measured_until, assigned_at, assigned_by,"
                       " station, record_count, mean, minimum, maximum, deviation, verdict)"
                       " SELECT i, printf('P-%04d', i % %2), 1672531200 + i * 600, 1672531200 + i * 600 + 540,"
                       " 1672531200 + i * 600 + 600, 'bench', 'station', 10, 13.0, 12.2, 14.2, 0.6, 1 + i % 2 FROM n")
            .arg(kChecks)
            .arg(kPresses),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
                       " INSERT INTO check_records (record_id, check_id) SELECT i, (i - 1) / 10 + 1 FROM n")
            .arg(kRecords),
        "COMMIT",
        "ANALYZE"};
    return statements;
}

// The same archive on a PostgreSQL server.
const QStringList &PostgresFill()
{
    static const QStringList statements{
        "BEGIN",
        "INSERT INTO instruments (id, instrument_key, serial) VALUES (1, 'S:BENCH', 'BENCH')",
        "INSERT INTO presses (id, name, location, press_class, interval_days, range_low, range_high)"
        " SELECT 'P-' || lpad(i::text, 4, '0'), '프레스 ' || i, (i % 12) || '라인', i % 3, 7 + i % 60,"
        " CASE WHEN i % 2 = 0 THEN 100 END, CASE WHEN i % 2 = 0 THEN 160 END FROM generate_series(0, 999) i",
        QStringLiteral("INSERT INTO stored_records (id, instrument_id, record_time, raw_force, setting_code)"
                       " SELECT i, 1, to_char(to_timestamp(1672531200 + i * 60) AT TIME ZONE 'UTC',"
                       " 'YYYY-MM-DD HH24:MI:SS'), 1200 + i % 200, i % 3 FROM generate_series(1, %1) i")
            .arg(kRecords),
        QStringLiteral("INSERT INTO press_checks (id, press_id, measured_at, measured_until, assigned_at, assigned_by,"
                       " station, record_count, mean, minimum, maximum, deviation, verdict)"
                       " SELECT i, 'P-' || lpad((i % %2)::text, 4, '0'), 1672531200 + i * 600,"
                       " 1672531200 + i * 600 + 540, 1672531200 + i * 600 + 600, 'bench', 'station', 10, 13.0,"
                       " 12.2, 14.2, 0.6, 1 + i % 2 FROM generate_series(1, %1) i")
            .arg(kChecks)
            .arg(kPresses),
        QStringLiteral("INSERT INTO check_records (record_id, check_id) SELECT i, (i - 1) / 10 + 1"
                       " FROM generate_series(1, %1) i")
            .arg(kRecords),
        "COMMIT",
        "ANALYZE"};
    return statements;
}

bool Fill(MeasurementArchive &archive)
{
    QSqlQuery q(archive.Database());
    for (const QString &sql : archive.Dialect() == SqlDialect::Sqlite ? SqliteFill() : PostgresFill())
        if (!q.exec(sql)) {
            std::fprintf(stderr, "%s\n%s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            return false;
        }
    return true;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Builds the archive at url and prints the figures of one kind of archive; false when something failed.
bool Measure(const QString &kind, const QString &url, int runs)
{
    const ArchiveLocation location = ParseArchiveLocation(url, nullptr).value();
    QElapsedTimer timer;
    timer.start();
    {
        MeasurementArchive archive(location);
        if (!archive.Open() || !Fill(archive))
            return false;
    }
    std::printf("%s: archive of %d presses, %d checks, %d records built in %.1f s\n", qPrintable(kind), kPresses,
                kChecks, kRecords, timer.elapsed() / 1000.0);

    // What the register window does when it opens: open for reading, list, work out every due date.
    std::vector<double> load;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        MeasurementArchive archive(location);
        PressRegister presses(archive);
        const auto list = archive.Open(MeasurementArchive::Purpose::Read) ? presses.ListPresses(false) : std::nullopt;
        if (!list || list->size() != kPresses)
            return false;
        int overdue = 0;
        for (const PressOverview &p : *list)
            overdue += DueDateOf(p.lastCheckAt, p.press.intervalDays, now).state == DueState::Overdue;
        load.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s: register load (open, list %d presses with latest check, due dates): median %.1f ms of %d runs\n",
                qPrintable(kind), kPresses, Median(load), runs);

    // The register window itself: made, its read answered on its pool thread, the table filled and sorted.
    std::vector<double> window;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        RegisterWindow shown(location, {}, [now] { return now; });
        QEventLoop loop;
        QObject::connect(&shown, &RegisterWindow::Loaded, &loop, &QEventLoop::quit);
        loop.exec();
        window.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s: register window (made until its table shows %d presses): median %.1f ms of %d runs\n",
                qPrintable(kind), kPresses, Median(window), runs);

#ifdef TONVALE_CLI_PATH
    std::vector<double> cli;
    for (int run = 0; run < runs; ++run) {
        timer.restart();
        QProcess process;
        process.start(QStringLiteral(TONVALE_CLI_PATH), {"--database", url, "press", "list"});
        process.waitForFinished(60000);
        const int lines = process.readAllStandardOutput().count('\n');
        if (process.exitCode() != 0 || lines != kPresses + 1)
            return false;
        cli.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%s: tonvale-cli press list (whole process): median %.1f ms of %d runs\n", qPrintable(kind),
                Median(cli), runs);
#endif
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!Measure(QStringLiteral("SQLite"), "sqlite:" + dir.filePath("archive.sqlite"), runs))
        return 1;
    PostgresCluster cluster;
    if (!cluster.SkipReason().isEmpty() || !cluster.Failure().isEmpty()) {
        std::printf("PostgreSQL: not measured (%s)\n", qPrintable(cluster.SkipReason() + cluster.Failure()));
        return 0;
    }
    return Measure(QStringLiteral("PostgreSQL"), cluster.Url(), runs) ? 0 : 1;
}
