// The operator's window on the simulated instrument in real time (the system clock):
//  1. "장비 조회" with 2,000 stored records today: the longest stall of the window's event loop,
//     seen by a 5 ms timer probe, and the time to the job's end against the line rate;
//  2. "장비 조회" with nothing stored today: time from the click to the job's end;
// each first as the link ran before, synchronously on the window's thread, then on the session thread.
// Usage: tonvale_bench_window [records]   (run with QT_QPA_PLATFORM=offscreen)

#include "CFt260.h"
#include "CIniSysInfo.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "MeasurementSink.h"
#include "Simulation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr double kByteMicros = 86.8; // 10 bits at 115200 baud
constexpr int kFrameBytes = 15;

Scenario TodayWith(int records, qint64 now)
{
    const std::optional<LocalFields> today = LocalFieldsOf(now);
    Scenario s;
    std::vector<RawRecord> stored;
    for (int i = 0; i < records; ++i)
        stored.push_back(
            MakeRecord({today->year, today->month, today->day, 0, i / 60 % 60, i % 60}, 500 + i % 700, i % 3));
    s.stored = stored;
    return s;
}

// Measures the longest gap between the ticks of a 5 ms timer while `run` goes on.
struct StallProbe {
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
    StallProbe()
    {
        timer.setInterval(5);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] { longest = std::max(longest, since.restart()); });
    }
    void Start()
    {
        since.start();
        timer.start();
    }
    void Stop()
    {
        longest = std::max(longest, since.elapsed());
        timer.stop();
    }
};

struct Figures {
    qint64 totalMs = 0;
    qint64 stallMs = 0;
    int rows = 0;
};

// The link on the window's thread, as the window ran it before: connect, identity, download.
Figures Synchronous(const Scenario &scenario)
{
    SystemClock clock;
    Simulation sim(scenario, clock);
    Measurement measurement;
    MeasurementSink sink(measurement);
    CFt260 link(sim.Bridge(), sim.Discovery(), clock, &sink);
    link.FindDevice();
    QEventLoop loop;
    StallProbe probe;
    Figures f;
    QElapsedTimer total;
    QTimer::singleShot(0, [&] {
        probe.Start();
        total.start();
        clock.Sleep(100);
        link.EnsureOpen();
        for (uint8_t command : {0x31, 0x37, 0x3B, 0x3D, 0x32, 0x39, 0x3F, 0x30}) {
            uint8_t request[32] = {}, response[32] = {};
            link.Transact(command, request, 1, response);
        }
        link.DownloadStoredRecords(clock.Now(), clock.Now(), &f.rows);
        f.totalMs = total.elapsed();
        QTimer::singleShot(0, [&] {
            probe.Stop();
            loop.quit();
        });
    });
    loop.exec();
    f.stallMs = probe.longest;
    return f;
}

// The window as it runs now: a click on "장비 조회", the job on the session thread.
Figures OnSession(const Scenario &scenario)
{
    SystemClock clock;
    Simulation sim(scenario, clock);
    QTemporaryDir dir;
    CIniSysInfo info;
    info.logDir = dir.path() + QStringLiteral("/Log/");
    CTonvaleDlg dlg(sim.Bridge(), sim.Discovery(), clock, info);
    dlg.SetMessageBoxHandler([](const CTonvaleDlg::MessageBoxRequest &) { return QMessageBox::Ok; });
    dlg.Create();
    dlg.SetTimersEnabled(false);
    dlg.show();
    dlg.PollPresence();
    while (!dlg.Session().Idle() || !dlg.Session().Present())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);

    QEventLoop loop;
    StallProbe probe;
    Figures f;
    QElapsedTimer total;
    QObject::connect(&dlg.Client(), &SessionClient::jobFinished, [&](const JobResult &result) {
        f.totalMs = total.elapsed();
        f.rows = result.rows;
        probe.Stop();
        loop.quit();
    });
    QTimer::singleShot(0, [&] {
        probe.Start();
        total.start();
        qobject_cast<QAbstractButton *>(dlg.Control(CTonvaleDlg::IDC_CONNECT))->click();
    });
    loop.exec();
    f.stallMs = probe.longest;
    return f;
}

void Print(const char *what, const Figures &f, int records)
{
    const double lineMs = records * kFrameBytes * kByteMicros / 1000.0;
    std::printf("%-44s %6lld ms to the end (%d rows; line rate %.0f ms), longest event-loop stall %lld ms\n", what,
                static_cast<long long>(f.totalMs), f.rows, lineMs, static_cast<long long>(f.stallMs));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 2000;
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    std::printf("\"장비 조회\" with %d stored records today, real time:\n", records);
    Print("  synchronous on the window's thread (before)", Synchronous(TodayWith(records, now)), records);
    Print("  on the session thread (now)", OnSession(TodayWith(records, now)), records);

    std::printf("\"장비 조회\" with nothing stored today, real time:\n");
    Print("  synchronous on the window's thread (before)", Synchronous(TodayWith(0, now)), 0);
    Print("  on the session thread (now)", OnSession(TodayWith(0, now)), 0);
    return 0;
}
