// The simulator behind the desktop's real link: both sides build and check frames with their own code,
// so these exchanges show that they agree on the wire.
#include "CFt260.h"
#include "Commands.h"
#include "InstrumentIdentity.h"
#include "LinkOwner.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct RowsOwner : LinkOwner {
    std::vector<QByteArray> stored, continuous;
    QByteArray summary;
    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int, const uint8_t *r) override
    {
        stored.emplace_back(reinterpret_cast<const char *>(r), 10);
    }
    void SetContinuousSummary(const uint8_t *s) override { summary = QByteArray(reinterpret_cast<const char *>(s), 9); }
    void AddContinuousRecordRow(int, const uint8_t *r) override
    {
        continuous.emplace_back(reinterpret_cast<const char *>(r), 10);
    }
};

struct LinkRig {
    VirtualClock clock;
    Simulation sim;
    RowsOwner owner;
    CFt260 link;

    explicit LinkRig(const char *json = "{}")
        : sim(*Scenario::FromJson(json, nullptr), clock), link(sim.Bridge(), sim.Discovery(), clock, &owner)
    {
    }
    QByteArray Read(uint8_t command)
    {
        uint8_t request[32] = {}, response[32] = {};
        const int result = link.Transact(command, request, 1, response);
        return result == RESULT_OK
                   ? QByteArray(reinterpret_cast<const char *>(response), kResponseDataLength[command - CMD_FIRST])
                   : QByteArray::number(result);
    }
};

} // namespace

TEST(SimulationWithLink, FreshBridgeIsConfiguredAndAReopenOnlyQueriesIt)
{
    LinkRig rig;
    EXPECT_EQ(rig.link.FindDevice(), "sim:ft260/0");
    ASSERT_NE(rig.link.EnsureOpen(), nullptr);
    EXPECT_EQ(rig.sim.Bridge().Config().baudRate, 115200u);
    EXPECT_EQ(rig.sim.Bridge().Config().flowCtrl, FT260_UART_NO_FLOW_CTRL);
    for (uint8_t command : {CMD_READ_NAME, CMD_READ_LC15_SN, CMD_READ_LC30_SN, CMD_READ_LC30_COVER_SN, CMD_READ_SERIAL,
                            CMD_READ_LC15_COVER_SN, CMD_READ_LC25_COVER_SN, CMD_READ_VERSION})
        EXPECT_EQ(rig.Read(command), rig.sim.Instrument().IdentityField(command)) << int(command);

    rig.link.Close();
    rig.sim.Bridge().ClearCalls();
    ASSERT_NE(rig.link.EnsureOpen(), nullptr);
    EXPECT_EQ(rig.sim.Bridge().CallNames(),
              QStringList({"OpenByDevicePath", "UartInit", "SelectGpioAFunction", "UartGetConfig"}));
}

TEST(SimulationWithLink, DownloadsAndFirmwareUpload)
{
    LinkRig rig(R"({"clock": "2024-05-01 09:30:00", "stored": [
        {"time": "2024-04-30 23:59:59", "raw": 1000}, {"time": "2024-05-01 00:00:00", "raw": 1470},
        {"time": "2024-05-02 00:00:00", "raw": 1470}, {"time": "2024-05-01 23:59:59", "raw": 2940, "setting": 2}]})");
    rig.link.FindDevice();
    const qint64 day = *LocalTimeFromFields({2024, 5, 1, 12, 0, 0});
    int rows = -1;
    EXPECT_EQ(rig.link.DownloadStoredRecords(day, day, &rows), RESULT_OK);
    ASSERT_EQ(rows, 2);
    EXPECT_EQ(rig.owner.stored[1], Hex("07 E8 05 01 17 3B 3B 0B 7C 02"));

    EXPECT_EQ(rig.link.DownloadContinuousRecords(), RESULT_OK);
    EXPECT_EQ(rig.owner.continuous.size(), rig.sim.Instrument().Continuous().records->size());
    EXPECT_EQ(rig.owner.summary, rig.sim.Instrument().ContinuousSummary());

    QByteArray image("\x33\x55", 2);
    for (int i = 0; i < 2048; ++i)
        image.append(char(i * 7));
    uint8_t response[32];
    EXPECT_EQ(rig.link.Transact(CMD_FW_REQUEST, reinterpret_cast<const uint8_t *>("\0"), 1, response), RESULT_OK);
    for (int at = 0; at < image.size(); at += at == 0 ? 2 : 1024) {
        const QByteArray part = image.mid(at, at == 0 ? 2 : 1024);
        ASSERT_EQ(rig.link.TransactLong(at == 0 ? CMD_FW_HEADER : CMD_FW_DATA,
                                        reinterpret_cast<const uint8_t *>(part.constData()), int(part.size()),
                                        response),
                  RESULT_OK);
        EXPECT_EQ(response[0], 0);
    }
    EXPECT_EQ(rig.sim.Instrument().FirmwareImage(), image);
}

TEST(SimulationWithLink, LateAnswerFailsAndIsFlushedBeforeTheNextRequest)
{
    LinkRig rig(R"({"faults": [{"kind": "late", "command": "33", "occurrence": 1, "delay_ms": 3000}]})");
    rig.link.FindDevice();
    EXPECT_EQ(rig.Read(CMD_READ_BATTERY), QByteArray::number(RESULT_READ_FAILED));
    EXPECT_FALSE(rig.link.IsOpen());
    rig.clock.Sleep(1000); // the late answer arrives meanwhile
    EXPECT_EQ(rig.Read(CMD_READ_NAME), rig.sim.Instrument().IdentityField(CMD_READ_NAME));
}

// An answer that comes after its time-out, while the next request waits, is never taken for the next
// command's answer; the next command gets its own.
TEST(SimulationWithLink, LateAnswersAreNeverTakenForTheNextCommandsAnswer)
{
    // The name's answer comes 2.6 s late, while the 15 t serial (an answer of the same length) is awaited.
    LinkRig name(R"({"identity": {"name": "PFM-3000", "lc15_sn": "L15-24031"},
                     "faults": [{"kind": "late", "command": "31", "occurrence": 1, "delay_ms": 2600}]})");
    name.link.FindDevice();
    EXPECT_EQ(name.Read(CMD_READ_NAME), QByteArray::number(RESULT_READ_FAILED));
    EXPECT_EQ(name.Read(CMD_READ_LC15_SN), name.sim.Instrument().IdentityField(CMD_READ_LC15_SN));

    // A late 15 t table, then the 30 t table.
    LinkRig tables(R"({"faults": [{"kind": "late", "command": "43", "occurrence": 1, "delay_ms": 2600}]})");
    tables.link.FindDevice();
    EXPECT_EQ(tables.Read(CMD_READ_CAL15), QByteArray::number(RESULT_READ_FAILED));
    const QByteArray table30 = tables.Read(CMD_READ_CAL30);
    EXPECT_NE(table30, tables.Read(CMD_READ_CAL15));
    EXPECT_EQ(table30, tables.Read(CMD_READ_CAL30));

    // A late acknowledgement of a serial write, then a write the instrument refuses (wrong length).
    LinkRig writes(R"({"faults": [{"kind": "late", "command": "36", "occurrence": 1, "delay_ms": 2600}]})");
    writes.link.FindDevice();
    uint8_t response[32] = {};
    const QByteArray serial("PF24050199\0", 11);
    EXPECT_EQ(
        writes.link.Transact(CMD_WRITE_SERIAL, reinterpret_cast<const uint8_t *>(serial.constData()), 11, response),
        RESULT_READ_FAILED);
    EXPECT_EQ(
        writes.link.Transact(CMD_WRITE_LC15_SN, reinterpret_cast<const uint8_t *>(serial.constData()), 3, response),
        RESULT_OK);
    EXPECT_EQ(response[0], SimulatedInstrument::kRefused);

    // A continuous stream that comes after the download gave up, then a name read.
    LinkRig stream(R"({"faults": [{"kind": "late", "command": "41", "occurrence": 1, "delay_ms": 1600}]})");
    stream.link.FindDevice();
    EXPECT_EQ(stream.link.DownloadContinuousRecords(), RESULT_TIMEOUT);
    EXPECT_EQ(stream.Read(CMD_READ_NAME), stream.sim.Instrument().IdentityField(CMD_READ_NAME));
}

TEST(SimulationWithLink, OnlyAnotherCommandsAnswerInTimeFailsWithTheIdResult)
{
    // The battery's answer is 3 s late and the name read is answered with nothing else in time.
    LinkRig rig(R"({"faults": [{"kind": "late", "command": "33", "occurrence": 1, "delay_ms": 2600},
                               {"kind": "silent", "command": "30"}]})");
    rig.link.FindDevice();
    EXPECT_EQ(rig.Read(CMD_READ_BATTERY), QByteArray::number(RESULT_READ_FAILED));
    EXPECT_EQ(rig.Read(CMD_READ_VERSION), QByteArray::number(RESULT_BAD_ID));
    EXPECT_EQ(rig.link.GetResultText(), QString::fromUtf8("패킷 수신 실패 (ID) (-1088)"));
}

// Exchanges end as their answer is queued, and the instrument answers as of the moment a request
// arrived, however late the line is looked at.
TEST(SimulationWithLink, ExchangesRunAtTheWiresPace)
{
    LinkRig rig;
    rig.link.FindDevice();
    ASSERT_NE(rig.link.EnsureOpen(), nullptr);
    const qint64 before = rig.clock.MonotonicMicros();
    EXPECT_EQ(rig.Read(CMD_READ_NAME), rig.sim.Instrument().IdentityField(CMD_READ_NAME));
    // Six request bytes, the instrument's 2 ms, fourteen answer bytes.
    const qint64 line = (6 + 14) * SimulatedUartLine::ByteTimeNanos(115200) / 1000 + 2000;
    EXPECT_GE(rig.clock.MonotonicMicros() - before, line);
    EXPECT_LE(rig.clock.MonotonicMicros() - before, line + 10);
}

TEST(SimulationWithLink, TheInstrumentAnswersAsOfTheMomentTheRequestArrived)
{
    SimRig rig(*Scenario::FromJson(R"({"clock": "2024-05-01 09:30:58"})", nullptr));
    // The line is looked at only 2.5 s after the request went out: the clock still reads 09:30:58.
    const QByteArray answer = rig.Ask(CMD_READ_CLOCK, QByteArray(1, '\0'), 2500);
    ASSERT_EQ(answer.size(), 18);
    EXPECT_EQ(answer.mid(3, 7), Hex("07 E8 05 01 09 1E 3A"));
}

TEST(SimulationWithLink, TheIdentityReadEndsOnceTwoExchangesInARowTimeOut)
{
    // A silent instrument: two time-outs, about 5 s, and the result says why.
    LinkRig silent(R"({"faults": [{"kind": "silent", "command": "31"}, {"kind": "silent", "command": "37"},
                                  {"kind": "silent", "command": "3B"}]})");
    silent.link.FindDevice();
    int shown = 0;
    const qint64 before = silent.clock.MonotonicMicros();
    IdentityReadResult read = ReadInstrumentIdentity(silent.link, [&](int, const uint8_t *) { ++shown; });
    EXPECT_TRUE(read.silent);
    EXPECT_EQ(read.result, RESULT_READ_FAILED);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(int(silent.sim.Instrument().Requests().size()), 2);
    EXPECT_LT(silent.clock.MonotonicMicros() - before, 5'100'000);

    // Time-outs apart from each other do not end it: every field is asked for.
    LinkRig patchy(R"({"faults": [{"kind": "silent", "command": "31"}, {"kind": "silent", "command": "3B"},
                                  {"kind": "silent", "command": "30"}]})");
    patchy.link.FindDevice();
    QList<int> fields;
    read = ReadInstrumentIdentity(patchy.link, [&](int index, const uint8_t *) { fields << index; });
    EXPECT_FALSE(read.silent);
    EXPECT_EQ(read.result, RESULT_READ_FAILED);
    EXPECT_EQ(fields, (QList<int>{1, 3, 4, 5, 6}));
}
