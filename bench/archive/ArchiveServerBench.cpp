// Prints what archiving on a PostgreSQL server costs a download, as tonvale-cli runs it:
//  1. 3000 stored records at the line's pace with the archive on a server behind a link that adds 10 ms
//     each way (DelayProxy), against the same download without archive (goal: at most 1.05 x);
//  2. 200,000 stored records in virtual time into the server on its local socket, into an SQLite file and
//     without archive (goal: the server at most 2 x SQLite).
// Each run is a fresh process in a folder of its own; the server is a throwaway cluster.
//  3. the 3000 records with the archive on a server that takes the connection and never answers (the
//     download goes on into the station's own archive): when the table was out, and when the program
//     ended after its archive.
// usage: tonvale_bench_archive_server [TONVALE_CLI [REPEATS]]  (another build's program, to compare
// with; how many downloads of each kind at the line's pace, 3 unless told)

#include "archive/DelayProxy.h"
#include "archive/PostgresCluster.h"
#include "cli/CliRunner.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// `count` stored records of the instrument `serial`, one a second from 2024-05-01 00:00:00.
QString WriteScenario(const QString &path, const QString &serial, int count)
{
    QByteArray json = "{\"identity\": {\"serial\": \"" + serial.toUtf8() + "\"}, \"stored\": [";
    const QDateTime first(QDate(2024, 5, 1), QTime(0, 0));
    for (int i = 0; i < count; ++i)
        json += QStringLiteral("%1{\"time\": \"%2\", \"raw\": %3, \"setting\": %4}")
                    .arg(i ? "," : "")
                    .arg(first.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .arg(1000 + i % 60000)
                    .arg(i % 3)
                    .toUtf8();
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(json + "]}");
    return path;
}

struct Timed {
    double seconds = 0;      // until the program ended
    double tableSeconds = 0; // until the table of the download was out (the archive may still be working)
    bool ok = false;
};

// One memory download of the scenario by `program`; database empty: --no-archive.
Timed Download(const QString &program, const QString &scenario, const QString &database, bool virtualTime, int records)
{
    QTemporaryDir folder;
    QStringList arguments{"--simulate=" + scenario, "memory", "--from", "2024-05-01", "--to", "2024-05-31"};
    if (virtualTime)
        arguments.insert(1, "--virtual-time");
    arguments.insert(1, database.isEmpty() ? QStringLiteral("--no-archive") : "--database=" + database);
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(CliCopyIn(folder.path(), program), arguments);
    QByteArray out;
    double tableSeconds = 0;
    // An older program may take minutes.
    while (process.state() != QProcess::NotRunning && process.waitForStarted(-1)) {
        process.waitForReadyRead(20);
        out += process.readAllStandardOutput();
        if (tableSeconds == 0 && out.count('\n') >= records + 1)
            tableSeconds = timer.nsecsElapsed() / 1e9;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    out += process.readAllStandardOutput();
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const int exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    Timed timed{seconds, tableSeconds > 0 ? tableSeconds : seconds, exitCode == 0 && out.count('\n') == records + 1};
    if (!timed.ok || !err.isEmpty())
        std::printf("    %s (exit %d): %s\n", timed.ok ? "told" : "run failed", exitCode, qPrintable(err.left(300)));
    return timed;
}

Timed Middle(std::vector<Timed> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Timed &a, const Timed &b) { return a.seconds < b.seconds; });
    Timed middle = runs[runs.size() / 2];
    middle.ok = std::all_of(runs.begin(), runs.end(), [](const Timed &run) { return run.ok; });
    return middle;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TONVALE_CLI_PATH);
    PostgresCluster cluster;
    if (!cluster.SkipReason().isEmpty() || !cluster.Failure().isEmpty()) {
        std::printf("no PostgreSQL server: %s%s\n", qPrintable(cluster.SkipReason()), qPrintable(cluster.Failure()));
        return 1;
    }
    QTemporaryDir dir;
    std::printf("tonvale-cli: %s\n", qPrintable(program));

    constexpr int kLineRecords = 3000;
    const QString line = WriteScenario(dir.filePath("line.json"), "SN-LINE", kLineRecords);
    DelayProxy proxy((cluster.SocketDir() + "/.s.PGSQL.5432").toStdString(), std::chrono::milliseconds(10));
    const QString remote = QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(proxy.Port());
    // Taken in turns; the middle time counts.
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::vector<Timed> bare, far;
    for (int i = 0; i < repeats; ++i) {
        bare.push_back(Download(program, line, {}, false, kLineRecords));
        far.push_back(Download(program, line, remote, false, kLineRecords));
    }
    const Timed bareMiddle = Middle(bare), farMiddle = Middle(far);
    std::printf("%d records at the line's pace (middle of %d): without archive %.2f s, archive on a server 10 ms "
                "away each way %.2f s = %.3f x (goal <= 1.05 x)\n",
                kLineRecords, repeats, bareMiddle.seconds, farMiddle.seconds, farMiddle.seconds / bareMiddle.seconds);

    // Listening but never accepting: the system completes the connection and keeps what the client sends.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(silent, 8);
    ::getsockname(silent, reinterpret_cast<sockaddr *>(&address), &length);
    const Timed unanswered = Download(
        program, line, QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(ntohs(address.sin_port)), false,
        kLineRecords);
    ::close(silent);
    std::printf("%d records at the line's pace, the server never answering: table out after %.2f s = %.3f x, "
                "program ended (its archive kept locally) after %.2f s = %.3f x without archive\n",
                kLineRecords, unanswered.tableSeconds, unanswered.tableSeconds / bareMiddle.tableSeconds,
                unanswered.seconds, unanswered.seconds / bareMiddle.seconds);

    constexpr int kManyRecords = 200000;
    const QString many = WriteScenario(dir.filePath("many.json"), "SN-MANY", kManyRecords);
    const Timed none = Download(program, many, {}, true, kManyRecords);
    const Timed sqlite = Download(program, many, "sqlite:" + dir.filePath("many.sqlite"), true, kManyRecords);
    const Timed server = Download(program, many, cluster.Url(), true, kManyRecords);
    std::printf("%d records in virtual time: without archive %.2f s, SQLite %.2f s, PostgreSQL on its socket "
                "%.2f s = %.2f x SQLite (goal <= 2 x)\n",
                kManyRecords, none.seconds, sqlite.seconds, server.seconds, server.seconds / sqlite.seconds);
    return bareMiddle.ok && farMiddle.ok && none.ok && sqlite.ok && server.ok ? 0 : 1;
}
