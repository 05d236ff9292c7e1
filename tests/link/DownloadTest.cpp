// The two record downloads against the simulated instrument on the virtual clock, with the records kept
// as a measurement and shown in a grid by the same row builders the main window uses.

#include "CFt260.h"
#include "CSpreadSheet.h"
#include "Clock.h"
#include "LocalTime.h"
#include "MeasurementSink.h"
#include "PacketLogSink.h"
#include "RecordTables.h"
#include "Simulation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

// The simulated bridge, watched: how much each read asked for, and two faults
// the simulator does not make (a queue query that fails, a write that sends nothing).
class WatchedBridge : public Ft260Device {
  public:
    explicit WatchedBridge(SimulatedBridge &inner) : m_inner(inner) {}

    std::vector<uint32_t> readSizes;
    int queriesBeforeFailure = -1; // -1: never fail
    bool writeNothing = false;

    FT260_STATUS UartGetQueueStatus(FT260_HANDLE h, uint32_t *waiting) override
    {
        if (queriesBeforeFailure == 0)
            return FT260_IO_ERROR;
        if (queriesBeforeFailure > 0)
            --queriesBeforeFailure;
        return m_inner.UartGetQueueStatus(h, waiting);
    }
    FT260_STATUS UartRead(FT260_HANDLE h, uint8_t *b, uint32_t len, uint32_t n, uint32_t *got) override
    {
        readSizes.push_back(n);
        return m_inner.UartRead(h, b, len, n, got);
    }
    FT260_STATUS UartWrite(FT260_HANDLE h, const uint8_t *b, uint32_t len, uint32_t n, uint32_t *sent) override
    {
        if (writeNothing) {
            *sent = 0;
            return FT260_OK;
        }
        return m_inner.UartWrite(h, b, len, n, sent);
    }
    FT260_STATUS OpenByDevicePath(const QString &p, FT260_HANDLE *h) override { return m_inner.OpenByDevicePath(p, h); }
    FT260_STATUS UartInit(FT260_HANDLE h) override { return m_inner.UartInit(h); }
    FT260_STATUS SelectGpioAFunction(FT260_HANDLE h, uint8_t f) override { return m_inner.SelectGpioAFunction(h, f); }
    FT260_STATUS UartGetConfig(FT260_HANDLE h, UartConfig *c) override { return m_inner.UartGetConfig(h, c); }
    FT260_STATUS UartSetBaudRate(FT260_HANDLE h, uint32_t b) override { return m_inner.UartSetBaudRate(h, b); }
    FT260_STATUS UartSetFlowControl(FT260_HANDLE h, uint8_t f) override { return m_inner.UartSetFlowControl(h, f); }
    FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE h, uint8_t d, uint8_t s, uint8_t p) override
    {
        return m_inner.UartSetDataCharacteristics(h, d, s, p);
    }
    FT260_STATUS UartReset(FT260_HANDLE h) override { return m_inner.UartReset(h); }
    FT260_STATUS Close(FT260_HANDLE h) override { return m_inner.Close(h); }
    void SetInputWaker(Waker *waker) override { m_inner.SetInputWaker(waker); }
    qint64 NextInputMicros(FT260_HANDLE h, uint32_t bytes) override { return m_inner.NextInputMicros(h, bytes); }

  private:
    SimulatedBridge &m_inner;
};

class WrittenFrames : public PacketLogSink {
  public:
    QList<QByteArray> frames;
    void AddPacket(int direction, const uint8_t *bytes, int count) override
    {
        if (direction == Written)
            frames << QByteArray(reinterpret_cast<const char *>(bytes), count);
    }
};

qint64 At(const char *text) // local "YYYY-MM-DD HH:MM:SS"
{
    int y, mo, d, h, mi, s;
    sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return *LocalTimeFromFields({y, mo, d, h, mi, s});
}

RawRecord Rec(const char *time, int raw = 1470, int setting = 1)
{
    return MakeRecord(*LocalFieldsOf(At(time)), raw, setting);
}

Scenario Stored(std::vector<RawRecord> records)
{
    Scenario s;
    s.stored = std::move(records);
    return s;
}

Scenario Continuous(std::vector<RawRecord> records)
{
    Scenario s;
    s.continuous.records = std::move(records);
    return s;
}

// One instrument, its link, the measurement a download fills and the grid that shows it.
struct Bench {
    explicit Bench(const Scenario &scenario) : sim(scenario, clock), bridge(sim.Bridge())
    {
        SetUpRecordSheets(grid, RecordSheetColors{});
        link.FindDevice();
    }

    int DownloadStored(const char *from, const char *to)
    {
        measurement.Begin(MeasurementMode::Memory);
        rows = -1;
        return Shown(link.DownloadStoredRecords(At(from), At(to), &rows));
    }
    int DownloadContinuous()
    {
        measurement.Begin(MeasurementMode::Output);
        return Shown(link.DownloadContinuousRecords());
    }
    int Shown(int result)
    {
        measurement.Finish(result, link.DamagedRecordCount());
        FillRecordSheets(measurement, grid);
        return result;
    }
    QStringList Row(int row)
    {
        QStringList texts;
        for (int col = 1; col <= grid.GetColumnCount(); ++col)
            texts << grid.text(col, row);
        return texts;
    }
    QStringList Column(int col)
    {
        QStringList texts;
        for (int row = 1; row <= grid.GetRowCount(); ++row)
            texts << grid.text(col, row);
        return texts;
    }
    bool LinkAnswers()
    {
        uint8_t request[CFt260::kResponseAreaSize] = {};
        uint8_t response[CFt260::kResponseAreaSize] = {};
        return link.Transact(CMD_READ_VERSION, request, 1, response) == RESULT_OK;
    }

    VirtualClock clock;
    Simulation sim;
    WatchedBridge bridge;
    CSpreadSheet grid;
    WrittenFrames written;
    Measurement measurement;
    MeasurementSink sink{measurement, &written};
    CFt260 link{bridge, sim.Discovery(), clock, &sink};
    int rows = -1;
};

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

TEST(StoredDownload, RangeWithoutRecordsGetsOnlyTheEndMarker)
{
    Bench b(Stored({Rec("2024-04-30 23:59:59")}));
    // Only the start day travels, at 00:00:00, whatever the time of day given.
    EXPECT_EQ(b.DownloadStored("2024-05-01 15:20:00", "2024-05-01 08:00:00"), RESULT_OK);
    EXPECT_EQ(b.written.frames, QList<QByteArray>{Hex("020835 07E8050100 0000 D403")});
    EXPECT_EQ(b.rows, 0);
    EXPECT_EQ(b.grid.GetRowCount(), 0);
    EXPECT_TRUE(b.link.IsOpen());
}

TEST(StoredDownload, EndOfRangeDropsLaterRecordsButReadsOnAndShowsEveryText)
{
    Bench b(Stored({Rec("2024-05-01 10:00:00", 0, 3), Rec("2024-05-02 23:59:59", 65535, 7), Rec("2024-05-03 00:00:00"),
                    Rec("2024-05-02 12:00:00", 1470, 0)}));
    ASSERT_EQ(b.DownloadStored("2024-05-01 09:00:00", "2024-05-02 08:00:00"), RESULT_OK);
    EXPECT_EQ(b.rows, 3);
    EXPECT_EQ(b.Row(1), (QStringList{"1", "1", "2024-05-01 10:00:00", QStringLiteral(" 0.0 톤"), "", ""}));
    EXPECT_EQ(b.Row(2), (QStringList{"1", "2", "2024-05-02 23:59:59", QStringLiteral("668.7 톤"), "", ""}));
    EXPECT_EQ(b.Row(3), (QStringList{"1", "3", "2024-05-02 12:00:00", QStringLiteral("15.0 톤"),
                                     QStringLiteral("10-13톤"), QStringLiteral("15톤")}));

    // The same query again rebuilds the same rows.
    ASSERT_EQ(b.DownloadStored("2024-05-01 09:00:00", "2024-05-02 08:00:00"), RESULT_OK);
    EXPECT_EQ(b.grid.GetRowCount(), 3);
    EXPECT_EQ(b.Column(2), (QStringList{"1", "2", "3"}));
}

TEST(StoredDownload, BadFrameIsSkippedAndLongStreamsArriveWholeAcrossPolls)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < 120; ++i)
        records.push_back(Rec("2024-05-01 08:00:00", i, 1));
    for (int i = 0; i < 120; ++i)
        records[i][6] = uint8_t(i % 60), records[i][5] = uint8_t(i / 60);
    Scenario scenario = Stored(records);
    scenario.faults.storedBadChecksum = {1};
    Bench b(scenario);

    const qint64 before = b.clock.MonotonicMicros();
    ASSERT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_OK);
    const qint64 elapsed = b.clock.MonotonicMicros() - before;
    EXPECT_EQ(b.rows, 119);
    EXPECT_EQ(b.link.DamagedRecordCount(), 1);
    EXPECT_EQ(b.Row(1)[2], "2024-05-01 08:00:00");
    EXPECT_EQ(b.Row(2).mid(1, 2), (QStringList{"2", "2024-05-01 08:00:02"}));
    EXPECT_EQ(b.Row(119).mid(1, 2), (QStringList{"119", "2024-05-01 08:01:59"}));

    // Frames are taken as they arrive: the download ends as the end marker's last byte comes in (the
    // request, the instrument's 2 ms and 121 frames on the line), and every read takes one whole frame.
    const qint64 lineMicros = (12 + 121 * 15) * SimulatedUartLine::ByteTimeNanos(115200) / 1000 + 2000;
    EXPECT_GE(elapsed, lineMicros);
    EXPECT_LE(elapsed, lineMicros + 100);
    EXPECT_EQ(std::count(b.bridge.readSizes.begin(), b.bridge.readSizes.end(), 15u), 121);
}

TEST(StoredDownload, StreamThatStopsEndsAfterItsSilenceLimitKeepingItsRows)
{
    Scenario scenario = Stored({Rec("2024-05-01 10:00:00"), Rec("2024-05-01 10:00:01"), Rec("2024-05-01 10:00:02"),
                                Rec("2024-05-01 10:00:03")});
    scenario.faults.storedStreamStopsAfter = 2;
    Bench b(scenario);

    const qint64 before = b.clock.MonotonicMicros();
    EXPECT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_TIMEOUT);
    const qint64 elapsedMs = (b.clock.MonotonicMicros() - before) / 1000;
    EXPECT_EQ(b.rows, 2);
    EXPECT_EQ(b.grid.GetRowCount(), 2);
    // 1.6 s of silence after the last record, which came within a few milliseconds of the request.
    EXPECT_GE(elapsedMs, 1600);
    EXPECT_LT(elapsedMs, 1610);
    // A failed download closes the link, as the continuous one does; the next exchange opens it again.
    EXPECT_FALSE(b.link.IsOpen());
    EXPECT_TRUE(b.LinkAnswers());
}

TEST(StoredDownload, ImpossibleRecordTimeAbandonsTheDownloadAndTheLinkStaysUsable)
{
    QString error;
    QByteArray json = R"({"stored": [{"time": "2024-05-01 10:00:00", "raw": 100},
                                     {"hex": "07 E8 05 01 18 00 00 00 64 01"})";
    for (int i = 0; i < 200; ++i)
        json += R"(, {"time": "2024-05-01 11:00:00", "raw": 100})";
    json += "]}";
    const std::optional<Scenario> scenario = Scenario::FromJson(json, &error);
    ASSERT_TRUE(scenario) << error.toStdString();
    Bench b(*scenario);

    EXPECT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_RECORD_TIME_INVALID);
    EXPECT_EQ(b.rows, 1);
    EXPECT_EQ(b.grid.GetRowCount(), 1);
    EXPECT_EQ(b.link.GetResultText(), QStringLiteral("측정 시간 오류 - 데이터 조회 중단 (-1083)"));
    // The rest of the stream is off the line: the next exchange gets its own answer.
    EXPECT_TRUE(b.LinkAnswers());
}

TEST(StoredDownload, FailingQueueQueryOrEmptyWriteIsNeverSuccess)
{
    Bench b(Stored({Rec("2024-05-01 10:00:00"), Rec("2024-05-01 10:00:01")}));
    b.bridge.queriesBeforeFailure = 1; // the flush before the request
    EXPECT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_READ_FAILED);
    EXPECT_EQ(b.rows, 0);
    EXPECT_FALSE(b.link.IsOpen());

    b.bridge.queriesBeforeFailure = -1;
    b.bridge.writeNothing = true;
    EXPECT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_WRITE_FAILED);
    EXPECT_EQ(b.rows, 0);
    EXPECT_EQ(b.DownloadContinuous(), RESULT_WRITE_FAILED);
    EXPECT_FALSE(b.link.IsOpen());
}

TEST(ContinuousDownload, SummaryAndThreeRecordsFillTheSheet)
{
    Scenario scenario = Continuous(
        {Rec("2024-05-01 09:20:00", 0, 2), Rec("2024-05-01 09:20:01", 65535, 3), Rec("2024-05-01 09:20:02", 1234, 1)});
    scenario.continuous.average = 12340;
    scenario.continuous.minimum = 12349;
    scenario.continuous.maximum = 65535;
    scenario.continuous.deviation = 9;
    Bench b(scenario);

    EXPECT_EQ(b.DownloadContinuous(), RESULT_OK);
    EXPECT_EQ(b.written.frames, QList<QByteArray>{Hex("020241004103")});
    EXPECT_TRUE(b.link.IsOpen());
    EXPECT_EQ(b.grid.GetRowCount(), 6);
    EXPECT_EQ(b.Row(2), (QStringList{"3", "123.4 KN", "123.4 KN", "655.3 KN", "0.0 KN"}));
    EXPECT_EQ(b.Row(4),
              (QStringList{"1", "2024-05-01 09:20:00", "0.0 KN", QStringLiteral("25-30톤"), QStringLiteral("30톤")}));
    EXPECT_EQ(b.Row(5), (QStringList{"2", "2024-05-01 09:20:01", "6553.5 KN", "", ""}));
    EXPECT_EQ(b.Row(6).mid(0, 3), (QStringList{"3", "2024-05-01 09:20:02", "123.4 KN"}));
}

TEST(ContinuousDownload, RunWithoutRecordsSucceedsWithItsSummary)
{
    Bench b(Continuous({}));
    EXPECT_EQ(b.DownloadContinuous(), RESULT_OK);
    EXPECT_EQ(b.grid.GetRowCount(), 3);
    EXPECT_EQ(b.grid.text(1, 2), "0");
    EXPECT_FALSE(b.grid.text(2, 2).isEmpty());
}

TEST(ContinuousDownload, SilenceBeforeTheSummaryOrTheAnnouncedRecordsFails)
{
    Scenario shortRun = Continuous({Rec("2024-05-01 09:20:00"), Rec("2024-05-01 09:20:01")});
    shortRun.continuous.count = 4;
    Bench b(shortRun);
    EXPECT_EQ(b.DownloadContinuous(), RESULT_TIMEOUT);
    EXPECT_EQ(b.grid.GetRowCount(), 5);
    EXPECT_EQ(b.grid.text(1, 2), "4");
    EXPECT_FALSE(b.link.IsOpen());

    Scenario silent = Continuous({Rec("2024-05-01 09:20:00")});
    silent.faults.answers.push_back({AnswerFault::Kind::Silent, CMD_READ_OUTPUT});
    Bench quiet(silent);
    EXPECT_EQ(quiet.DownloadContinuous(), RESULT_TIMEOUT);
    EXPECT_EQ(quiet.grid.GetRowCount(), 3);
    EXPECT_TRUE(quiet.grid.text(1, 2).isEmpty());
}

TEST(ContinuousDownload, ImpossibleRecordTimeAbandonsTheRunKeepingEarlierRows)
{
    RawRecord impossible = Rec("2024-05-01 09:20:01");
    impossible[4] = 24; // hour
    Bench b(Continuous({Rec("2024-05-01 09:20:00"), impossible, Rec("2024-05-01 09:20:02")}));
    EXPECT_EQ(b.DownloadContinuous(), RESULT_RECORD_TIME_INVALID);
    EXPECT_EQ(b.grid.GetRowCount(), 4);
    EXPECT_TRUE(b.LinkAnswers());
}

// One stray byte before the stream and one inside it: only the record it touched is lost.
TEST(StreamResynchronisation, StrayBytesCostOnlyTheRecordTheyTouch)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < 40; ++i)
        records.push_back(Rec("2024-05-01 08:00:00", 100 + i, 1));
    Scenario scenario = Stored(records);
    scenario.faults.answers.push_back({AnswerFault::Kind::GarbageBefore, CMD_READ_MEMORY, 0, 0, 1});
    scenario.faults.answers.push_back({AnswerFault::Kind::StrayByte, CMD_READ_MEMORY, 0, 0, 17 * 15 + 6});
    Bench b(scenario);

    ASSERT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_OK);
    EXPECT_EQ(b.rows, 39);
    QStringList forces;
    for (int i = 0; i < 40; ++i)
        if (i != 17)
            forces << QString::asprintf("%4.1f 톤", (100 + i) / 98.0);
    EXPECT_EQ(b.Column(4), forces);
    EXPECT_EQ(b.Column(2).last(), "39");
    EXPECT_EQ(b.link.DamagedRecordCount(), 1);

    Scenario run = Continuous({Rec("2024-05-01 09:20:00", 1), Rec("2024-05-01 09:20:01", 2),
                               Rec("2024-05-01 09:20:02", 3), Rec("2024-05-01 09:20:03", 4)});
    run.faults.answers.push_back({AnswerFault::Kind::GarbageBefore, CMD_READ_OUTPUT, 0, 0, 8});
    run.faults.answers.push_back({AnswerFault::Kind::StrayByte, CMD_READ_OUTPUT, 0, 0, 14 + 16 + 9});
    Bench c(run);
    // The damaged record never comes, so the announced count is not reached: the run ends in silence,
    // with every other record and the summary in place.
    EXPECT_EQ(c.DownloadContinuous(), RESULT_TIMEOUT);
    EXPECT_EQ(c.grid.text(1, 2), "4");
    EXPECT_EQ(c.grid.GetRowCount(), 6);
    EXPECT_EQ(c.Row(4)[2], "0.1 KN");
    EXPECT_EQ(c.Row(5)[2], "0.3 KN");
    EXPECT_EQ(c.Row(6)[2], "0.4 KN");
    EXPECT_EQ(c.link.DamagedRecordCount(), 1);
}

TEST(DamagedRecords, AreCountedPerDownloadAndNeverPassForAnEmptyRange)
{
    Scenario scenario = Stored({Rec("2024-05-01 10:00:00"), Rec("2024-05-01 10:00:01"), Rec("2024-05-01 10:00:02")});
    scenario.faults.storedBadChecksum = {0, 1, 2};
    Bench b(scenario);
    // Every record arrives damaged: the download ends normally with no rows, but not as "no data".
    ASSERT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_OK);
    EXPECT_EQ(b.rows, 0);
    EXPECT_EQ(b.link.DamagedRecordCount(), 3);
    EXPECT_EQ(DamagedRecordsText(b.link.DamagedRecordCount()),
              QStringLiteral("수신 중 손상된 데이터 3건은 제외되었습니다."));

    // The next download starts counting afresh.
    b.sim.Line().SetFaults(FaultPlan{});
    ASSERT_EQ(b.DownloadStored("2024-05-01 00:00:00", "2024-05-01 00:00:00"), RESULT_OK);
    EXPECT_EQ(b.rows, 3);
    EXPECT_EQ(b.link.DamagedRecordCount(), 0);
}

TEST(DamagedRecords, ADayTheMonthLacksAbandonsTheDownloadLikeAnyImpossibleTime)
{
    RawRecord april31 = Rec("2024-04-30 10:00:00");
    april31[3] = 31;
    Bench b(Stored({Rec("2024-04-30 09:00:00"), april31, Rec("2024-05-01 10:00:00")}));
    EXPECT_EQ(b.DownloadStored("2024-04-30 00:00:00", "2024-05-31 00:00:00"), RESULT_RECORD_TIME_INVALID);
    EXPECT_EQ(b.rows, 1);
    EXPECT_TRUE(b.LinkAnswers());
}

namespace {

// Counts rows and asks the link to stop once `cancelAt` rows have come.
struct CancellingOwner : LinkOwner {
    CFt260 *link = nullptr;
    int cancelAt = -1;
    int rows = 0;
    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int, const uint8_t *) override
    {
        if (++rows == cancelAt)
            link->RequestCancel();
    }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override
    {
        if (++rows == cancelAt)
            link->RequestCancel();
    }
};

Scenario ManyRecords(int count)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(Rec("2024-05-01 08:00:00", i, 1));
    return Stored(records);
}

} // namespace

TEST(Cancel, ACancelledDownloadKeepsItsRowsAndTakesTheRestOfTheStreamOffTheLine)
{
    VirtualClock clock;
    Simulation sim(ManyRecords(200), clock);
    CancellingOwner owner;
    CFt260 link(sim.Bridge(), sim.Discovery(), clock, &owner);
    owner.link = &link;
    owner.cancelAt = 5;
    link.FindDevice();

    int rows = -1;
    const qint64 day = At("2024-05-01 00:00:00");
    EXPECT_EQ(link.DownloadStoredRecords(day, day, &rows), RESULT_CANCELLED);
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(owner.rows, 5);
    EXPECT_EQ(link.GetResultText(), QStringLiteral("데이터 조회 취소 (-1082)"));
    // The whole stream (request, 2 ms, 200 records and the end marker) was read off, then 50 ms of quiet.
    const qint64 stream = (12 + 201 * 15) * SimulatedUartLine::ByteTimeNanos(115200) / 1000 + 2000;
    EXPECT_GE(clock.MonotonicMicros(), stream + 50'000);
    EXPECT_LE(clock.MonotonicMicros(), stream + 50'000 + 100);

    // The next job starts afresh and the next exchange gets its own answer.
    link.ClearCancel();
    owner.cancelAt = -1;
    owner.rows = 0;
    EXPECT_EQ(link.DownloadStoredRecords(day, day, &rows), RESULT_OK);
    EXPECT_EQ(rows, 200);
}

// In real time: a download waiting for its next frame ends at once when it is cancelled or the bridge is
// pulled, not at its 1.6 s silence limit or at the end of the stream.
TEST(Cancel, CancelAndUnplugWakeAWaitingDownloadAtOnce)
{
    SystemClock clock;
    Scenario stops = ManyRecords(3);
    stops.faults.storedStreamStopsAfter = 2;
    Simulation quiet(stops, clock);
    CFt260 link(quiet.Bridge(), quiet.Discovery(), clock);
    link.FindDevice();
    const qint64 day = At("2024-05-01 00:00:00");
    int rows = -1;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        link.RequestCancel();
    });
    qint64 start = clock.MonotonicMicros();
    EXPECT_EQ(link.DownloadStoredRecords(day, day, &rows), RESULT_CANCELLED);
    canceller.join();
    EXPECT_LT(clock.MonotonicMicros() - start, 1'000'000);
    EXPECT_EQ(rows, 2);

    // 2,000 records take 2.6 s on the line; the bridge goes after 100 ms.
    Simulation busy(ManyRecords(2000), clock);
    CFt260 busyLink(busy.Bridge(), busy.Discovery(), clock);
    busyLink.FindDevice();
    std::thread unplugger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        busy.Bridge().Unplug();
    });
    start = clock.MonotonicMicros();
    EXPECT_EQ(busyLink.DownloadStoredRecords(day, day, &rows), RESULT_READ_FAILED);
    unplugger.join();
    EXPECT_LT(clock.MonotonicMicros() - start, 1'500'000);
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 2000);
}
