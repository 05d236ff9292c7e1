// The measurement model filled by real jobs on the session thread against the simulated instrument: the
// identity by name, the silent instrument, and a download's ticks and completeness as the reports take them.

#include "Clock.h"
#include "DownloadRecords.h"
#include "RecordTables.h"
#include "ReportExport.h"
#include "ResultCodes.h"
#include "SessionClient.h"
#include "SessionJobs.h"
#include "SessionTestSupport.h"
#include "Simulation.h"

namespace {

constexpr qint64 kMay1_1000 = 1714525200; // 2024-05-01 10:00 in Korea

struct Rig {
    explicit Rig(const Scenario &scenario)
        : clock(kMay1_1000), sim(scenario, clock), host(sim.Bridge(), sim.Discovery(), clock)
    {
        QObject::connect(&client, &SessionClient::recordsArrived, [this](const RecordBatch &b) { records.Append(b); });
        host.PollPresence();
        SettleSession(host);
    }
    JobResult Run(const Job &job)
    {
        JobResult result;
        client.Submit(job, [&](const JobResult &r) { result = r; });
        SettleSession(host);
        return result;
    }
    VirtualClock clock;
    Simulation sim;
    SessionHost host;
    SessionClient client{host};
    DownloadRecords records;
};

Scenario WithStored(int count)
{
    Scenario s;
    s.stored.emplace();
    for (int i = 0; i < count; ++i)
        s.stored->push_back(MakeRecord({2024, 5, 1, 8, i / 60, i % 60}, 900 + 10 * i, i % 3));
    return s;
}

} // namespace

class MeasurementTest : public QObject {
    Q_OBJECT
  private slots:
    void IdentityFieldsAreNamedAfterWhatTheInstrumentAnswers()
    {
        Scenario s;
        s.identity[0x31] = "PFM-3000";
        s.identity[0x32] = "PF24050117";
        s.identity[0x30] = "V1.2";
        s.identity[0x37] = "LC15-7";
        s.identity[0x3B] = "LC30-3";
        s.identity[0x39] = "CV15-7";
        s.identity[0x3F] = QByteArray(9, '\xFF'); // erased
        s.identity[0x3D] = "CV30-3";
        Rig rig(s);
        const InstrumentIdentity id = SessionJobs::IdentityFromExchanges(rig.Run(SessionJobs::Identity()).exchanges);
        QCOMPARE(id.Name(), QStringLiteral("PFM-3000"));
        QCOMPARE(id.Serial(), QStringLiteral("PF24050117"));
        QCOMPARE(id.Version(), QStringLiteral("V1.2"));
        QCOMPARE(id.LoadCell15Serial(), QStringLiteral("LC15-7"));
        QCOMPARE(id.LoadCell30Serial(), QStringLiteral("LC30-3"));
        QCOMPARE(id.Cover15Serial(), QStringLiteral("CV15-7"));
        QCOMPARE(id.Cover25Serial(), QStringLiteral("-"));
        QCOMPARE(id.Cover30Serial(), QStringLiteral("CV30-3"));
        QCOMPARE(id.bytes[InstrumentIdentity::kSerialField], QByteArray("PF24050117"));
    }

    void ASilentInstrumentEndsTheIdentityAfterTwoTimeOutsInARow()
    {
        Scenario s;
        // The second field times out alone; the fourth and fifth in a row end the reads.
        for (const uint8_t command : {uint8_t(0x37), uint8_t(0x3D), uint8_t(0x32)})
            s.faults.answers.push_back(AnswerFault{AnswerFault::Kind::Silent, command});
        Rig rig(s);
        const JobResult result = rig.Run(SessionJobs::Identity());
        QCOMPARE(result.exchanges.size(), 5);
        const InstrumentIdentity id = SessionJobs::IdentityFromExchanges(result.exchanges);
        QVERIFY(!id.Name().isNull());
        QVERIFY(id.LoadCell15Serial().isNull());
        QVERIFY(!id.LoadCell30Serial().isNull());
        QVERIFY(id.Serial().isNull());
        QVERIFY(id.Version().isNull()); // never asked
    }

    void ACutShortDownloadIsIncompleteAndReportsOnlyTheTickedRows()
    {
        Scenario s = WithStored(6);
        s.faults.storedStreamStopsAfter = 4;
        Rig rig(s);
        rig.records.Begin(false);
        const JobResult result = rig.Run(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, kStoredRecordSheet));
        QVERIFY(result.code < 0);
        rig.records.Finish(result.code, result.damaged);
        Measurement &table = rig.records.Table(MeasurementMode::Memory);
        QCOMPARE(table.Count(), 4);
        QVERIFY(table.Incomplete());
        QCOMPARE(table.IncompleteWhy(), IncompleteTableText(true, 4, 0));

        table.SetTicked(1, false);
        const ReportRows rows = ReportRowsOf(table);
        QCOMPARE(rows.rows.size(), 3);
        for (const auto &[row, index] : {std::pair{0, 0}, {1, 2}, {2, 3}}) {
            const RecordTexts texts = table.RowTexts(index);
            QCOMPARE(rows.rows[row], (ReportRows::Row{texts.time, texts.force, texts.setValue, texts.loadCell}));
        }
    }

    void BatchesLandInTheTableTheyNameAndTheOtherModeKeepsItsOwn()
    {
        Scenario s = WithStored(3);
        Rig rig(s);
        rig.records.Begin(false);
        rig.records.Finish(rig.Run(SessionJobs::StoredDownload(kMay1_1000, kMay1_1000, kStoredRecordSheet)).code);
        rig.records.Begin(true);
        const JobResult result = rig.Run(SessionJobs::ContinuousDownload(kContinuousSheet));
        rig.records.Finish(result.code, result.damaged);
        const Measurement &stored = rig.records.Table(MeasurementMode::Memory);
        const Measurement &continuous = rig.records.Table(MeasurementMode::Output);
        QCOMPARE(stored.Count(), 3);
        QVERIFY(continuous.Summary().has_value());
        QCOMPARE(continuous.Count(), int((*continuous.Summary())[0]));
        QVERIFY(rig.records.Continuous());
        QCOMPARE(rig.records.Count(), continuous.Count());
        // A continuous report takes every record and the summary, whatever was ticked.
        const ReportRows rows = ReportRowsOf(continuous);
        QCOMPARE(rows.rows.size(), continuous.Count());
        QCOMPARE(rows.summary.first(), QString::number((*continuous.Summary())[0]));
    }
};

QTEST_GUILESS_MAIN(MeasurementTest)
#include "MeasurementTest.moc"
