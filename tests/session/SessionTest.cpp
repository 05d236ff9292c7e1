// The instrument session on its own thread against the simulated instrument on a virtual clock:
// batches in order and tagged, cancel, presence, the record observer, one job per client, shutdown;
// and the mailbox that carries jobs and results between the threads.
#include "CFt260.h"
#include "Clock.h"
#include "JobContext.h"
#include "LinkOwner.h"
#include "Mailbox.h"
#include "ResultCodes.h"
#include "SessionClient.h"
#include "SessionJobs.h"
#include "SessionTestSupport.h"
#include "Simulation.h"

#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

// 2024-05-01 10:00:00 in Seoul.
constexpr qint64 kMay1_1000 = 1714525200;

// `count` records on 1 May, one a second from 08:00.
std::vector<RawRecord> RecordsOfMay1(int count)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(MakeRecord({2024, 5, 1, 8 + i / 3600, i / 60 % 60, i % 60}, 100 + i % 900, i % 3));
    return records;
}

Scenario WithStored(int count)
{
    Scenario s;
    s.stored = RecordsOfMay1(count);
    return s;
}

// A session on one simulated instrument, with a client that keeps every batch and the last result.
struct Rig {
    explicit Rig(const Scenario &scenario)
        : clock(kMay1_1000), sim(scenario, clock), host(sim.Bridge(), sim.Discovery(), clock)
    {
        QObject::connect(&client, &SessionClient::recordsArrived, [this](const RecordBatch &b) {
            batches << b;
            if (!finished.isEmpty())
                batchAfterEnd = true;
        });
        QObject::connect(&client, &SessionClient::jobFinished, [this](const JobResult &r) { finished << r; });
        host.PollPresence();
    }
    QByteArray Received() const
    {
        QByteArray all;
        for (const RecordBatch &b : batches)
            all += b.records;
        return all;
    }
    static QByteArray Expected(const std::vector<RawRecord> &records)
    {
        QByteArray all;
        for (const RawRecord &r : records)
            all.append(reinterpret_cast<const char *>(r.data()), int(r.size()));
        return all;
    }

    VirtualClock clock;
    Simulation sim;
    SessionHost host;
    SessionClient client{host};
    QList<RecordBatch> batches;
    QList<JobResult> finished;
    bool batchAfterEnd = false;
};

// Sees every record on the thread the link runs on.
struct CountingObserver : LinkOwner {
    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int, const uint8_t *) override
    {
        ++records;
        sessionThread = QThread::currentThread() != qApp->thread();
        if (onRecord)
            onRecord(records);
    }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override { ++records; }
    std::atomic<int> records{0};
    std::atomic<bool> sessionThread{false};
    std::function<void(int)> onRecord;
};

} // namespace

class SessionTest : public QObject {
    Q_OBJECT
  private slots:
    void RecordsComeInOrderedTaggedBatchesAllBeforeTheEnd()
    {
        Rig rig(WithStored(400));
        SETTLE(rig.host);
        QVERIFY(rig.host.Present());
        const JobId id = rig.client.Submit(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, 1));
        QVERIFY(id != 0);
        QVERIFY(rig.client.Busy());
        // One job at a time: a second one is refused, not queued.
        QCOMPARE(rig.client.Submit(SessionJobs::Read(CMD_READ_BATTERY)), JobId(0));
        SETTLE(rig.host);

        QCOMPARE(rig.finished.size(), 1);
        QCOMPARE(rig.finished[0].code, 0);
        QCOMPARE(rig.finished[0].rows, 400);
        QVERIFY2(rig.batches.size() > 3, "400 records at the line rate span more than one 50 ms batch");
        int next = 0;
        for (const RecordBatch &b : rig.batches) {
            QCOMPARE(b.job, id);
            QCOMPARE(b.sheet, 1);
            QCOMPARE(b.firstIndex, next);
            next += b.Count();
        }
        QCOMPARE(rig.Received(), Rig::Expected(RecordsOfMay1(400)));
        QVERIFY(!rig.batchAfterEnd);
        QVERIFY(!rig.client.Busy());
    }

    void ACancelledDownloadKeepsWhatCameAndTheNextJobWorks()
    {
        Rig rig(WithStored(3000));
        SETTLE(rig.host);
        SessionGate gate;
        rig.host.SetRecordObserver(&gate);
        gate.HoldAtRecord(700);
        rig.client.Submit(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, 1));
        QVERIFY(gate.WaitUntilHeld());
        // The window has rows already while the download goes on.
        QVERIFY(!rig.batches.isEmpty());
        rig.client.Cancel();
        gate.Release();
        SETTLE(rig.host);
        QCOMPARE(rig.finished.size(), 1);
        const JobResult &cancelled = rig.finished[0];
        QCOMPARE(cancelled.code, int(RESULT_CANCELLED));
        QCOMPARE(cancelled.text, QString("데이터 조회 취소 (-1082)"));
        // It stopped after the frame it was on.
        QCOMPARE(cancelled.rows, 700);
        QCOMPARE(rig.Received(), Rig::Expected(RecordsOfMay1(3000)).left(cancelled.rows * 10));

        // The rest of the stream was taken off the line: the next exchange gets its own answer.
        rig.client.Submit(SessionJobs::Read(CMD_READ_BATTERY));
        SETTLE(rig.host);
        QCOMPARE(rig.finished.size(), 2);
        QCOMPARE(rig.finished[1].code, 0);
        QCOMPARE(uint8_t(rig.finished[1].exchanges.value(0).response.at(0)), uint8_t(87));
    }

    // What a job captured from a window is released on the window's thread after the job ran there
    // on the session thread, so shared data of the window never loses its last reference elsewhere.
    void AJobsCapturesAreReleasedOnTheThreadThatSubmittedIt()
    {
        Rig rig(WithStored(0));
        SETTLE(rig.host);
        std::atomic<QThread *> ranOn{nullptr};
        std::atomic<QThread *> releasedOn{nullptr};
        {
            const std::shared_ptr<int> captured(new int(7), [&releasedOn](int *value) {
                releasedOn.store(QThread::currentThread());
                delete value;
            });
            Job job;
            job.run = [captured, &ranOn](JobContext &) { ranOn.store(QThread::currentThread()); };
            QVERIFY(rig.client.Submit(job) != 0);
        }
        SETTLE(rig.host);
        QTRY_VERIFY(releasedOn.load() != nullptr);
        QVERIFY(ranOn.load() != nullptr);
        QVERIFY(ranOn.load() != QThread::currentThread());
        QCOMPARE(releasedOn.load(), QThread::currentThread());
    }

    void ACancelBeforeTheJobStartsEndsItAtOnce()
    {
        Rig rig(WithStored(50));
        SETTLE(rig.host);
        // Two clients: the second one's download waits behind the first one's script.
        SessionClient other(rig.host);
        QList<JobResult> otherResults;
        QObject::connect(&other, &SessionClient::jobFinished, [&](const JobResult &r) { otherResults << r; });
        SessionGate gate;
        rig.host.SetRecordObserver(&gate);
        gate.HoldAtPacket(1);
        rig.client.Submit(SessionJobs::Script(
            {ExchangeStep{CMD_READ_NAME, QByteArray(1, '\0')}, ExchangeStep{CMD_READ_SERIAL, QByteArray(1, '\0')}}));
        QVERIFY(gate.WaitUntilHeld());
        other.Submit(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, 1));
        other.Cancel();
        gate.Release();
        SETTLE(rig.host);
        QCOMPARE(rig.sim.Instrument().RequestCount(CMD_READ_MEMORY), 0);
        QCOMPARE(rig.finished.value(0).code, 0);
        QCOMPARE(rig.finished.value(0).exchanges.size(), 2);
        QCOMPARE(otherResults.value(0).code, int(RESULT_CANCELLED));
        // Neither client saw the other's batches.
        QVERIFY(rig.batches.isEmpty());
    }

    void AnUnplugMidDownloadEndsWithTheResultAndThePresenceBeforeTheEnd()
    {
        Rig rig(WithStored(500));
        SETTLE(rig.host);
        CountingObserver observer;
        // The observer runs on the session thread, the only one that touches the instrument.
        observer.onRecord = [&rig](int n) {
            if (n == 120)
                rig.sim.Bridge().Unplug();
        };
        rig.host.SetRecordObserver(&observer);
        QList<bool> presence;
        QObject::connect(&rig.host, &SessionHost::presenceChanged, [&](bool present) {
            presence << present;
            QVERIFY(rig.finished.isEmpty());
        });
        rig.client.Submit(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, 1));
        SETTLE(rig.host);

        QCOMPARE(rig.finished.size(), 1);
        QVERIFY(rig.finished[0].code < 0);
        QCOMPARE(rig.finished[0].text, ResultText(rig.finished[0].code));
        QVERIFY(!rig.finished[0].present);
        QCOMPARE(presence, QList<bool>{false});
        QVERIFY(!rig.host.Present());
        // Every record handed over reached both the observer and the window, in order.
        QVERIFY(rig.finished[0].rows >= 120);
        QCOMPARE(observer.records.load(), rig.finished[0].rows);
        QVERIFY(observer.sessionThread.load());
        QCOMPARE(rig.Received(), Rig::Expected(RecordsOfMay1(500)).left(rig.finished[0].rows * 10));
        rig.host.SetRecordObserver(nullptr);
        SETTLE(rig.host);
    }

    void ProgressStepsArriveInOrderAndPacketsAreStampedOnTheSession()
    {
        Rig rig{Scenario()};
        SETTLE(rig.host);
        QList<int> positions;
        QObject::connect(&rig.client, &SessionClient::progress,
                         [&](JobId, int position, const QString &) { positions << position; });
        PacketBatch packets;
        QObject::connect(&rig.host, &SessionHost::packetsArrived, [&](const PacketBatch &b) { packets += b; });
        Job job;
        job.run = [](JobContext &context) {
            for (int step = 1; step <= 5; ++step) {
                context.Exchange(ExchangeStep{CMD_READ_BATTERY, QByteArray(1, '\0')});
                context.Progress(step * 20, QString::number(step));
            }
        };
        rig.client.Submit(job);
        SETTLE(rig.host);
        QCOMPARE(positions, (QList<int>{20, 40, 60, 80, 100}));
        QCOMPARE(packets.size(), 10);
        for (int i = 0; i < packets.size(); ++i) {
            QCOMPARE(packets[i].direction, i % 2);
            QVERIFY(packets[i].time >= kMay1_1000);
        }
        QCOMPARE(packets[0].bytes.toHex(' '), QByteArray("02 02 33 00 33 03"));
    }

    void AMailboxRunsTasksOnItsThreadInOrderAndDropsThoseNeverRun()
    {
        QThread thread;
        auto mailbox = std::make_unique<Mailbox>();
        mailbox->moveToThread(&thread);
        thread.start();

        std::mutex lock;
        QList<int> ran;
        bool allOnItsThread = true;
        for (int i = 0; i < 200; ++i)
            mailbox->Post([&, i] {
                std::lock_guard<std::mutex> guard(lock);
                ran << i;
                allOnItsThread = allOnItsThread && QThread::currentThread() == &thread;
            });
        QTRY_VERIFY([&] {
            std::lock_guard<std::mutex> guard(lock);
            return ran.size() == 200;
        }());
        thread.quit();
        QVERIFY(thread.wait(10000));

        QList<int> expected;
        for (int i = 0; i < 200; ++i)
            expected << i;
        QCOMPARE(ran, expected);
        QVERIFY(allOnItsThread);

        // The thread has ended: a task posted now never runs, and goes with the mailbox together with
        // what it holds.
        auto held = std::make_shared<int>(1);
        bool lateRan = false;
        mailbox->Post([held, &lateRan] { lateRan = true; });
        QCOMPARE(held.use_count(), 2L);
        mailbox.reset();
        QCOMPARE(held.use_count(), 1L);
        QVERIFY(!lateRan);
    }

    void ShutdownDuringADownloadCancelsItAndClosesTheLink()
    {
        SessionGate gate;
        auto rig = std::make_unique<Rig>(WithStored(5000));
        SETTLE(rig->host);
        bool started = false;
        QObject::connect(&rig->client, &SessionClient::jobStarted, [&] { started = true; });
        // Held mid-download, so the job cannot end while the window waits for its start.
        rig->host.SetRecordObserver(&gate);
        gate.HoldAtRecord(100);
        // What the job holds (the archive, in the programs) is let go by the shutdown itself: the
        // command line never returns to its event loop to release it.
        auto held = std::make_shared<int>(1);
        Job download = SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, 1);
        download.run = [run = download.run, held](JobContext &context) { run(context); };
        rig->client.Submit(download);
        download = Job();
        QVERIFY(gate.WaitUntilHeld());
        QVERIFY(started);
        gate.Release();
        rig->host.Shutdown();
        QCOMPARE(held.use_count(), 1L);
        QVERIFY(rig->host.Idle());
        // A closed session takes no more jobs.
        QCOMPARE(rig->client.Submit(SessionJobs::Read(CMD_READ_BATTERY)), JobId(0));
        QVERIFY(rig->finished.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "SessionTest.moc"
