// tonvale-cli serve over an SQLite archive of plant size (default 1,000,000 stored records in 10,000
// downloads of 100 instruments, 1,000 presses with 10 checks each): the time of each page and file (median,
// 95th percentile, slowest) over loopback, then 32 clients making 200 requests each at once (errors, 99th
// percentile, requests a second).
// Usage: tonvale_bench_web [--downloads N] [--records-per-download M] [--presses P] [--checks-per-press K]
//                          [--samples S] [--clients C] [--requests R] [--keep DIR] [--server-delay MS]
// --keep DIR builds the archive there once and reuses it on later runs (with this build's tonvale-cli).
// --server-delay MS puts the archive on a throwaway PostgreSQL server instead, served as the read-only role
// behind a link that adds MS milliseconds each way, as a plant's server across the network.
#include "archive/DelayProxy.h"
#include "archive/PostgresCluster.h"
#include "cli/CliRunner.h"

#include "ArchiveLocation.h"
#include "MeasurementArchive.h"
#include "PressRegister.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <httplib.h>

#include <algorithm>
#include <optional>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

namespace {

struct Options {
    int downloads = 10000;
    int recordsPerDownload = 100;
    int instruments = 100;
    int presses = 1000;
    int checksPerPress = 10;
    int samples = 60;
    int clients = 32;
    int requests = 200;
    QString keep;
    int serverDelayMs = -1; // below 0: an SQLite file
};

QString Serial(int instrument)
{
    return QStringLiteral("PF%1").arg(24050000 + instrument);
}

bool BuildArchive(const ArchiveLocation &location, const Options &options)
{
    MeasurementArchive archive(location);
    if (!archive.Open())
        return false;
    if (archive.CountDownloads({}).value_or(0) >= options.downloads)
        return true;
    QElapsedTimer timer;
    timer.start();
    const qint64 firstDay = QDateTime(QDate(2024, 1, 1), QTime(8, 0)).toSecsSinceEpoch();
    for (int d = 0; d < options.downloads; ++d) {
        const int instrument = d % options.instruments;
        DownloadStart start;
        for (int i = 0; i < InstrumentIdentity::kFieldCount; ++i)
            start.identity.texts[i] = QStringLiteral("F%1").arg(i);
        start.identity.texts[InstrumentIdentity::kSerialField] = Serial(instrument);
        start.host = QStringLiteral("station-%1").arg(d % 8);
        start.osUser = QStringLiteral("op");
        start.startedAt = firstDay + qint64(d) * 3600;
        const std::optional<DownloadHandle> handle = archive.BeginDownload(start);
        if (!handle || !archive.BeginBatch())
            return false;
        std::vector<std::pair<int, RawRecord>> records;
        const QDateTime first = QDateTime::fromSecsSinceEpoch(start.startedAt - 86400);
        for (int r = 0; r < options.recordsPerDownload; ++r) {
            RawRecord record;
            // Each download's records are its own (another time), so the archive holds them all.
            MakeRawRecord(first.addSecs(r).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), 980 + (d * 7 + r) % 2000,
                          r % 3, record);
            records.emplace_back(r, record);
        }
        if (!archive.AddStoredRecords(*handle, records) ||
            !archive.FinishDownload(*handle, start.startedAt + 30, 0, options.recordsPerDownload) ||
            !archive.CommitBatch())
            return false;
        if ((d + 1) % 1000 == 0)
            std::fprintf(stderr, "archive: %d downloads, %.0f s\n", d + 1, timer.elapsed() / 1000.0);
    }
    return true;
}

QString PressId(int press)
{
    return QStringLiteral("P-%1").arg(press, 4, 10, QLatin1Char('0'));
}

// The register: presses of the three classes, each check the first records of a download of its own (as many
// as there are downloads), some with a range of their own.
bool BuildRegister(const ArchiveLocation &location, const Options &options)
{
    MeasurementArchive archive(location);
    if (!archive.Open())
        return false;
    PressRegister presses(archive);
    const std::optional<QList<PressOverview>> existing = presses.ListPresses(true);
    if (!existing)
        return false;
    if (existing->size() >= options.presses)
        return true;
    QElapsedTimer timer;
    timer.start();
    const CheckAuthor author{QStringLiteral("op"), QStringLiteral("station-1"), {}, QDateTime::currentSecsSinceEpoch()};
    for (int p = 0; p < options.presses; ++p) {
        Press press;
        press.id = PressId(p);
        press.name = QStringLiteral("%1호기").arg(p + 1);
        press.location = QStringLiteral("%1동").arg(QChar(u'A' + p % 5));
        press.pressClass = p % kPressClassCount;
        if (p % 2 == 0)
            press.range = ForceRange{120, 250};
        if (!presses.AddPress(press))
            return false;
        for (int k = 0; k < options.checksPerPress; ++k) {
            const int download = 1 + (p * options.checksPerPress + k) % options.downloads;
            const auto records = presses.DownloadRecords(download, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
            if (!records || !presses.Assign(press.id, *records, author))
                return false;
        }
        if ((p + 1) % 100 == 0)
            std::fprintf(stderr, "register: %d presses, %.0f s\n", p + 1, timer.elapsed() / 1000.0);
    }
    return true;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size() - 1) + 0.5));
    return values[at];
}

struct Page {
    const char *name;
    std::function<std::string(std::mt19937 &)> path;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    Options options;
    const QStringList arguments = application.arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString &name = arguments[i];
        const int value = arguments[i + 1].toInt();
        if (name == "--downloads")
            options.downloads = value;
        else if (name == "--records-per-download")
            options.recordsPerDownload = value;
        else if (name == "--presses")
            options.presses = value;
        else if (name == "--checks-per-press")
            options.checksPerPress = value;
        else if (name == "--samples")
            options.samples = value;
        else if (name == "--clients")
            options.clients = value;
        else if (name == "--requests")
            options.requests = value;
        else if (name == "--keep")
            options.keep = arguments[i + 1];
        else if (name == "--server-delay")
            options.serverDelayMs = value;
    }
    QTemporaryDir temporary;
    const QString dir = options.keep.isEmpty() || options.serverDelayMs >= 0 ? temporary.path() : options.keep;
    QDir().mkpath(dir);
    // A kept folder keeps its archive, never the program an earlier build placed there.
    QFile::remove(dir + QStringLiteral("/tonvale-cli"));
    const QString program = CliCopyIn(dir);

    std::optional<PostgresCluster> cluster;
    std::optional<DelayProxy> link;
    QStringList serveArguments{"serve", "--listen", "127.0.0.1:0"};
    ArchiveLocation location = DefaultArchiveLocation(dir);
    if (options.serverDelayMs >= 0) {
        cluster.emplace();
        if (!cluster->SkipReason().isEmpty() || !cluster->Failure().isEmpty()) {
            std::fprintf(stderr, "no PostgreSQL server: %s%s\n", qPrintable(cluster->SkipReason()),
                         qPrintable(cluster->Failure()));
            return 1;
        }
        QString error;
        if (RunProgram(program, {"--database", cluster->Url(), "archive", "setup"}).exitCode != 0 ||
            !cluster->Sql(QStringLiteral("CREATE ROLE office LOGIN IN ROLE tonvale_reader")).isEmpty()) {
            std::fprintf(stderr, "could not set the server archive up\n");
            return 1;
        }
        location = *ParseArchiveLocation(cluster->Url(), &error);
        link.emplace((cluster->SocketDir() + "/.s.PGSQL.5432").toStdString(),
                     std::chrono::milliseconds(options.serverDelayMs));
        serveArguments.prepend(QStringLiteral("postgresql://office@127.0.0.1:%1/tonvale").arg(link->Port()));
        serveArguments.prepend(QStringLiteral("--database"));
    }
    QElapsedTimer build;
    build.start();
    if (!BuildArchive(location, options) || !BuildRegister(location, options)) {
        std::fprintf(stderr, "could not build the archive (%s)\n", qPrintable(location.Describe()));
        return 1;
    }
    std::printf("archive: %d downloads x %d records, %d instruments, %d presses x %d checks (ready in %.1f s)\n",
                options.downloads, options.recordsPerDownload, options.instruments, options.presses,
                options.checksPerPress, build.elapsed() / 1000.0);
    if (link) {
        // A plant's server has long had its statistics; a table just filled has none and gets poor plans.
        if (const QString failure = cluster->Sql(QStringLiteral("ANALYZE")); !failure.isEmpty())
            std::fprintf(stderr, "ANALYZE: %s\n", qPrintable(failure));
        std::printf("served from PostgreSQL as the read-only role, %d ms away each way\n", options.serverDelayMs);
    }

    QProcess serve;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    serve.setProcessEnvironment(environment);
    serve.start(program, serveArguments);
    int port = 0;
    QString said;
    static const QRegularExpression address(QStringLiteral("http://127.0.0.1:(\\d+)/"));
    for (int waited = 0; waited < 30000 && port == 0 && serve.state() != QProcess::NotRunning; waited += 20) {
        serve.waitForReadyRead(20);
        said += QString::fromUtf8(serve.readAllStandardError());
        if (const QRegularExpressionMatch match = address.match(said); match.hasMatch())
            port = match.captured(1).toInt();
    }
    if (port == 0) {
        std::fprintf(stderr, "serve did not start: %s\n", qPrintable(said));
        return 1;
    }

    const int downloads = options.downloads, instruments = options.instruments;
    auto anyDownload = [downloads](std::mt19937 &random) { return std::to_string(1 + random() % downloads); };
    auto anyPress = [presses = options.presses](std::mt19937 &random) {
        return PressId(int(random() % uint32_t(presses))).toStdString();
    };
    const std::vector<Page> pages = {
        {"/", [](std::mt19937 &) { return std::string("/"); }},
        {"/downloads", [](std::mt19937 &) { return std::string("/downloads"); }},
        {"/downloads?page=N",
         [downloads](std::mt19937 &r) { return "/downloads?page=" + std::to_string(1 + r() % (downloads / 50)); }},
        {"/downloads?instrument=&from=&to=",
         [instruments](std::mt19937 &r) {
             return "/downloads?instrument=" + Serial(int(r() % instruments)).mid(4).toStdString() +
                    "&from=2024-03-01&to=2024-06-30";
         }},
        {"/downloads/ID", [&](std::mt19937 &r) { return "/downloads/" + anyDownload(r); }},
        {"/downloads/ID.xls", [&](std::mt19937 &r) { return "/downloads/" + anyDownload(r) + ".xls"; }},
        {"/downloads/ID.pdf", [&](std::mt19937 &r) { return "/downloads/" + anyDownload(r) + ".pdf"; }},
        // The newest downloads, the ones the start page links and the office opens most.
        {"/downloads/RECENT.pdf",
         [downloads](std::mt19937 &r) { return "/downloads/" + std::to_string(downloads - r() % 20) + ".pdf"; }},
        {"/downloads/ID.csv", [&](std::mt19937 &r) { return "/downloads/" + anyDownload(r) + ".csv"; }},
        {"/instruments", [](std::mt19937 &) { return std::string("/instruments"); }},
        {"/instruments/SERIAL",
         [instruments](std::mt19937 &r) { return "/instruments/" + Serial(int(r() % instruments)).toStdString(); }},
        {"/api/downloads?page=N",
         [downloads](std::mt19937 &r) { return "/api/downloads?page=" + std::to_string(1 + r() % (downloads / 50)); }},
        {"/api/downloads/ID", [&](std::mt19937 &r) { return "/api/downloads/" + anyDownload(r); }},
        {"/api/instruments", [](std::mt19937 &) { return std::string("/api/instruments"); }},
        {"/presses", [](std::mt19937 &) { return std::string("/presses"); }},
        {"/presses/ID", [&](std::mt19937 &r) { return "/presses/" + anyPress(r); }},
        {"/presses/ID.pdf", [&](std::mt19937 &r) { return "/presses/" + anyPress(r) + ".pdf"; }},
        {"/api/presses", [](std::mt19937 &) { return std::string("/api/presses"); }},
        {"/api/presses/ID", [&](std::mt19937 &r) { return "/api/presses/" + anyPress(r); }},
    };

    std::printf("\none client, %d requests of each (ms):\n%-34s %8s %8s %8s\n", options.samples, "page", "median",
                "p95", "max");
    std::mt19937 random(26);
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(120);
    for (const Page &page : pages) {
        std::vector<double> times;
        int errors = 0;
        for (int i = 0; i < options.samples; ++i) {
            const std::string path = page.path(random);
            QElapsedTimer timer;
            timer.start();
            const auto result = client.Get(path);
            times.push_back(timer.nsecsElapsed() / 1e6);
            errors += !result || result->status != 200;
        }
        std::printf("%-34s %8.1f %8.1f %8.1f%s\n", page.name, Percentile(times, 50), Percentile(times, 95),
                    Percentile(times, 100), errors ? qPrintable(QStringLiteral("  (%1 errors)").arg(errors)) : "");
    }

    // Many clients at once, each on its own keep-alive connection, the pages in turn.
    std::vector<std::vector<std::pair<size_t, double>>> perClient(size_t(options.clients)); // page, ms
    std::atomic<int> errors{0};
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < options.clients; ++c)
        threads.emplace_back([&, c] {
            std::mt19937 own(uint32_t(1000 + c));
            httplib::Client mine("127.0.0.1", port);
            mine.set_read_timeout(120);
            for (int i = 0; i < options.requests; ++i) {
                const size_t index = size_t(own() % pages.size());
                QElapsedTimer timer;
                timer.start();
                const auto result = mine.Get(pages[index].path(own));
                perClient[size_t(c)].emplace_back(index, timer.nsecsElapsed() / 1e6);
                if (!result || result->status != 200)
                    ++errors;
            }
        });
    for (std::thread &t : threads)
        t.join();
    std::vector<double> all;
    std::vector<std::vector<double>> byPage(pages.size());
    for (const auto &times : perClient)
        for (const auto &[index, ms] : times) {
            all.push_back(ms);
            byPage[index].push_back(ms);
        }
    std::printf("\n%d clients x %d requests: %d errors, median %.1f ms, p95 %.1f ms, p99 %.1f ms, max %.1f ms, "
                "%.0f requests/s\n",
                options.clients, options.requests, errors.load(), Percentile(all, 50), Percentile(all, 95),
                Percentile(all, 99), Percentile(all, 100), double(all.size()) / (wall.elapsed() / 1000.0));

    std::printf("%-34s %8s %8s %8s\n", "page (at once)", "median", "p99", "max");
    for (size_t i = 0; i < pages.size(); ++i)
        std::printf("%-34s %8.1f %8.1f %8.1f\n", pages[i].name, Percentile(byPage[i], 50), Percentile(byPage[i], 99),
                    Percentile(byPage[i], 100));

    ::kill(pid_t(serve.processId()), SIGTERM);
    serve.waitForFinished(30000);
    return 0;
}
