// A download followed as the main window and tonvale-cli follow it, through real jobs on the session thread
// against the simulated instrument: a cancel, a failure with its code, damaged records left out, and the next
// download after one that ended badly.

#include "Clock.h"
#include "DownloadRecords.h"
#include "RecordTables.h"
#include "ResultCodes.h"
#include "SessionClient.h"
#include "SessionJobs.h"
#include "SessionTestSupport.h"
#include "Simulation.h"

namespace {

constexpr qint64 kMay1_1000 = 1714525200; // 2024-05-01 10:00 in Korea

// `count` stored records; the stream stops after `stopsAfter` of them (-1: never).
Scenario StoredRecords(int count, int stopsAfter = -1)
{
    Scenario s;
    s.stored.emplace();
    for (int i = 0; i < count; ++i)
        s.stored->push_back(MakeRecord({2024, 5, 1, 8, i / 60, i % 60}, 1000 + i, i % 3));
    s.faults.storedStreamStopsAfter = stopsAfter;
    return s;
}

// The session, a client and the records store as the main window wires them.
struct Station {
    explicit Station(const Scenario &scenario)
        : clock(kMay1_1000), sim(scenario, clock), host(sim.Bridge(), sim.Discovery(), clock)
    {
        QObject::connect(&client, &SessionClient::recordsArrived, [this](const RecordBatch &b) { records.Append(b); });
        host.PollPresence();
        SettleSession(host);
    }
    void Submit(bool continuous)
    {
        records.Begin(continuous);
        client.Submit(continuous ? SessionJobs::ContinuousDownload(kContinuousSheet)
                                 : SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, kStoredRecordSheet),
                      [this](const JobResult &r) {
                          result = r;
                          records.Finish(r.code, r.damaged, !r.nothingSent);
                      });
    }
    // A whole download; false when the session did not become idle.
    bool Download(bool continuous)
    {
        Submit(continuous);
        return SettleSession(host);
    }
    const DownloadProgress &Progress() const { return records.Progress(); }
    const Measurement &Table(MeasurementMode mode) const { return records.Table(mode); }

    VirtualClock clock;
    Simulation sim;
    SessionHost host;
    SessionClient client{host};
    DownloadRecords records;
    JobResult result;
};

} // namespace

class DownloadProgressTest : public QObject {
    Q_OBJECT
  private slots:
    void ACancelledDownloadKeepsTheRowsThatCameAndSaysWhatIsMissing()
    {
        Station st(StoredRecords(400));
        SessionGate gate;
        st.host.SetRecordObserver(&gate);
        gate.HoldAtRecord(120);
        st.Submit(false);
        QVERIFY(gate.WaitUntilHeld());
        QVERIFY(st.Progress().Running());
        const int soFar = st.Progress().Rows();
        QVERIFY(soFar > 0 && soFar <= 120);
        QCOMPARE(st.Progress().StatusText(), QStringLiteral("수신 중 : %1건").arg(soFar));
        st.client.Cancel();
        gate.Release();
        SETTLE(st.host);

        QCOMPARE(st.result.code, int(RESULT_CANCELLED));
        const Measurement &table = st.Table(MeasurementMode::Memory);
        QVERIFY(!st.Progress().Running());
        QVERIFY(table.Count() >= 120 && table.Count() < 400);
        QCOMPARE(st.Progress().Rows(), table.Count());
        QCOMPARE(st.Progress().ReceivedRows(), table.Count());
        QCOMPARE(st.Progress().IncompleteTable(), &table);
        QCOMPARE(table.ResultCode(), int(RESULT_CANCELLED));
        QVERIFY(st.Progress().StatusText().endsWith(QStringLiteral("%1건만 받음").arg(table.Count())));
    }

    void AFailureKeepsItsCodeAndDamagedRecordsAreLeftOutAndCounted()
    {
        Station failed(StoredRecords(9, 5));
        QVERIFY(failed.Download(false));
        QVERIFY(failed.result.code < 0);
        const Measurement &cut = failed.Table(MeasurementMode::Memory);
        QCOMPARE(cut.GetState(), Measurement::State::Incomplete);
        QCOMPARE(cut.ResultCode(), failed.result.code);
        QCOMPARE(cut.Count(), 5);
        QCOMPARE(failed.Progress().IncompleteTable(), &cut);

        Scenario damaged = StoredRecords(9);
        damaged.faults.storedBadChecksum = {2, 6};
        Station st(damaged);
        QVERIFY(st.Download(false));
        QCOMPARE(st.result.damaged, 2);
        const Measurement &table = st.Table(MeasurementMode::Memory);
        QCOMPARE(table.Count(), 7);
        QCOMPARE(st.Progress().Rows(), 7);
        QVERIFY(table.Incomplete());
        QCOMPARE(st.Progress().IncompleteTable(), &table);
        QVERIFY(st.Progress().StatusText().contains(QStringLiteral("손상된 기록 2건 제외")));
    }

    // What one download left is neither counted into the next nor lost by it: a continuous run after a
    // cut-short stored one counts its own rows and keeps telling of the stored table until that table is
    // emptied (as a connect does).
    void TheNextDownloadCountsItsOwnRowsAndKeepsTheOtherModesIncompleteTable()
    {
        Station st(StoredRecords(30, 12));
        QVERIFY(st.Download(false));
        const Measurement &stored = st.Table(MeasurementMode::Memory);
        QCOMPARE(st.Progress().IncompleteTable(), &stored);

        st.Submit(true);
        QCOMPARE(st.Progress().Rows(), 0);
        QCOMPARE(st.Progress().ReceivedRows(), -1);
        SETTLE(st.host);
        QCOMPARE(st.result.code, 0);
        const Measurement &continuous = st.Table(MeasurementMode::Output);
        QVERIFY(continuous.Count() > 0);
        QCOMPARE(st.Progress().Rows(), continuous.Count());
        QCOMPARE(st.Progress().Announced(), int((*continuous.Summary())[0]));
        QCOMPARE(st.Progress().Mode(), MeasurementMode::Output);
        QCOMPARE(st.Progress().IncompleteTable(), &stored);
        QVERIFY(st.Progress().StatusText().startsWith(QStringLiteral("MEMORY ")));

        st.records.Clear(MeasurementMode::Memory);
        QCOMPARE(st.Progress().IncompleteTable(), nullptr);
        QCOMPARE(st.Progress().StatusText(), QStringLiteral("%1건 수신").arg(continuous.Count()));
    }
};

QTEST_GUILESS_MAIN(DownloadProgressTest)
#include "DownloadProgressTest.moc"
