#include "Commands.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

// A 6-byte request and the 14-byte name answer: 6 + 14 bytes of 86.8 us each plus the 2 ms the
// instrument takes to answer. Bytes become readable one by one, never before their stop bit.
TEST(UartLineTiming, AnswerArrivesAtLineRateAfterRequest)
{
    SimRig rig;
    rig.Write(RequestFrame(CMD_READ_NAME));
    rig.clock.AdvanceMicros(2520); // request in at 520.8 us, answer starts at 2520.8 us
    EXPECT_EQ(rig.Line().Available(), 0);
    rig.clock.AdvanceMicros(86); // 2606 us: the first answer byte is still on the wire
    EXPECT_EQ(rig.Line().Available(), 0);
    rig.clock.AdvanceMicros(2); // 2608 us: it has arrived (2607.6 us)
    EXPECT_EQ(rig.Line().Available(), 1);
    rig.clock.AdvanceMicros(3736 - 2608); // 13 bytes by 3649.3 us, the 14th at 3736.1 us
    EXPECT_EQ(rig.Line().Available(), 13);
    rig.clock.AdvanceMicros(1);
    EXPECT_EQ(rig.Line().Available(), 14);
    const QByteArray answer = rig.ReadAll();
    EXPECT_EQ(answer.left(3), Hex("02 0A 31"));
    EXPECT_EQ(answer.mid(3, 9), QByteArray("PFM-3000\0", 9));
    EXPECT_EQ(rig.Line().Available(), 0);
}

TEST(UartLineTiming, ProcessingDelayIsConfigurableAndAnswersQueueBehindEachOther)
{
    SimRig rig;
    rig.Line().SetProcessingDelayMicros(10000);
    rig.Write(RequestFrame(CMD_READ_BATTERY) + RequestFrame(CMD_READ_VERSION));
    rig.clock.AdvanceMicros(10000 + 6 * 87); // first request in, its answer not started
    EXPECT_EQ(rig.Line().Available(), 0);
    rig.clock.Sleep(20);
    const auto frames = SplitFrames(rig.ReadAll());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Hex("02 02 33 57 64 03")); // battery 87
    EXPECT_EQ(uint8_t(frames[1][2]), CMD_READ_VERSION);
}

// A stored download of 6 records and the end marker: 7 frames of 15 bytes that flow back to back.
TEST(UartLineTiming, StreamsFlowAtLineRate)
{
    SimRig rig;
    rig.Write(RequestFrame(CMD_READ_MEMORY, Hex("07 B2 01 01 00 00 00")));
    const qint64 start = 12 * 86806 / 1000 + 2000;
    rig.clock.AdvanceMicros(start + 15 * 87);
    EXPECT_EQ(rig.Line().Available(), 15);
    rig.clock.AdvanceMicros(3 * 15 * 87);
    EXPECT_EQ(rig.Line().Available(), 60);
    rig.clock.Sleep(100);
    EXPECT_EQ(rig.ReadAll().size(), 7 * 15);
}

// The bridge's reset drops what has arrived; bytes the instrument is still sending keep coming.
TEST(UartLineTiming, ResetDropsArrivedBytesOnly)
{
    SimRig rig;
    rig.Write(RequestFrame(CMD_READ_NAME));
    rig.clock.AdvanceMicros(3000); // about 5 of 14 bytes in
    const int arrived = rig.Line().Available();
    ASSERT_GT(arrived, 0);
    rig.Line().ResetHostSide();
    EXPECT_EQ(rig.Line().Available(), 0);
    rig.clock.Sleep(10);
    EXPECT_EQ(rig.Line().Available(), 14 - arrived);
}

// The instrument only understands 115200 8N1.
TEST(UartLineTiming, WrongHostFormatGetsNoAnswer)
{
    SimRig rig;
    rig.Line().SetHostFormat(9600, 8, 0, 0);
    EXPECT_TRUE(rig.Ask(CMD_READ_NAME).isEmpty());
    rig.Line().SetHostFormat(115200, 8, 0, 1);
    EXPECT_TRUE(rig.Ask(CMD_READ_NAME).isEmpty());
    rig.Line().SetHostFormat(115200, 8, 0, 0);
    EXPECT_EQ(rig.Ask(CMD_READ_NAME).size(), 14);
}

namespace {
Scenario WithFaults(const char *json)
{
    QString error;
    auto scenario = Scenario::FromJson(json, &error);
    EXPECT_TRUE(scenario.has_value()) << error.toStdString();
    return scenario.value_or(Scenario());
}
} // namespace

TEST(UartLineFaults, FrameFaultsCorruptTheRightByte)
{
    SimRig rig(WithFaults(R"({"faults": [
        {"kind": "bad_checksum", "command": "33", "occurrence": 1},
        {"kind": "bad_stx", "command": "33", "occurrence": 2},
        {"kind": "bad_etx", "command": "33", "occurrence": 3}]})"));
    const QByteArray good = Hex("02 02 33 57 64 03");
    const QByteArray badChecksum = rig.Ask(CMD_READ_BATTERY);
    const QByteArray badStx = rig.Ask(CMD_READ_BATTERY);
    const QByteArray badEtx = rig.Ask(CMD_READ_BATTERY);
    ASSERT_EQ(badChecksum.size(), 6);
    EXPECT_NE(badChecksum[4], good[4]);
    EXPECT_EQ(badChecksum.left(4) + badChecksum.right(1), good.left(4) + good.right(1));
    EXPECT_EQ(badStx, QByteArray(1, '\0') + good.mid(1));
    EXPECT_EQ(badEtx, good.left(5) + QByteArray(1, '\0'));
    EXPECT_EQ(rig.Ask(CMD_READ_BATTERY), good); // the fourth answer is clean
}

TEST(UartLineFaults, ExtraGarbageAndTruncation)
{
    SimRig rig(WithFaults(R"({"faults": [
        {"kind": "extra_bytes", "command": "0x33", "occurrence": 1, "bytes": 5},
        {"kind": "garbage_before", "command": "33", "occurrence": 2, "bytes": 3},
        {"kind": "truncate", "command": "33", "occurrence": 3, "bytes": 4},
        {"kind": "stray_byte", "command": "33", "occurrence": 4, "after": 2}]})"));
    const QByteArray good = Hex("02 02 33 57 64 03");
    const QByteArray extra = rig.Ask(CMD_READ_BATTERY);
    EXPECT_EQ(extra.size(), 11);
    EXPECT_EQ(extra.left(6), good);
    const QByteArray garbage = rig.Ask(CMD_READ_BATTERY);
    EXPECT_EQ(garbage.size(), 9);
    EXPECT_EQ(garbage.mid(3), good);
    EXPECT_NE(garbage.left(1), good.left(1));
    EXPECT_EQ(rig.Ask(CMD_READ_BATTERY), good.left(4));
    EXPECT_EQ(rig.Ask(CMD_READ_BATTERY), Hex("02 02 02 33 57 64 03"));
}

TEST(UartLineFaults, SilentAndLateApplyToTheirOccurrenceOrEveryTime)
{
    SimRig rig(WithFaults(R"({"faults": [
        {"kind": "silent", "command": "31"},
        {"kind": "late", "command": "30", "occurrence": 2, "delay_ms": 3000}]})"));
    EXPECT_TRUE(rig.Ask(CMD_READ_NAME, QByteArray(1, '\0'), 3000).isEmpty());
    EXPECT_TRUE(rig.Ask(CMD_READ_NAME, QByteArray(1, '\0'), 3000).isEmpty());
    EXPECT_EQ(rig.Instrument().RequestCount(CMD_READ_NAME), 2); // heard, not answered

    EXPECT_EQ(rig.Ask(CMD_READ_VERSION).size(), 9);
    EXPECT_TRUE(rig.Ask(CMD_READ_VERSION, QByteArray(1, '\0'), 2500).isEmpty());
    rig.clock.Sleep(600);
    EXPECT_EQ(rig.ReadAll().size(), 9);
}

TEST(UartLineFaults, StoredStreamFaults)
{
    SimRig rig(WithFaults(R"({"faults": [
        {"kind": "stored_bad_checksum", "index": 1},
        {"kind": "stored_stream_stops_after", "records": 3}]})"));
    const auto frames = SplitFrames(rig.Ask(CMD_READ_MEMORY, Hex("07 B2 01 01 00 00 00")));
    ASSERT_EQ(frames.size(), 3u); // three records, no end marker
    for (int i = 0; i < 3; ++i) {
        uint8_t x = 0;
        for (int k = 0; k < 13; ++k)
            x ^= uint8_t(frames[i][k]);
        EXPECT_EQ(x == uint8_t(frames[i][13]), i != 1) << "record " << i;
        EXPECT_NE(frames[i][3], '\0');
    }
}

TEST(UartLineFaults, UnplugAfterExchanges)
{
    SimRig rig(WithFaults(R"({"faults": [{"kind": "unplug_after_exchanges", "count": 2}]})"));
    EXPECT_EQ(rig.Ask(CMD_READ_NAME).size(), 14);
    rig.Write(RequestFrame(CMD_READ_BATTERY));
    rig.clock.Sleep(100);
    EXPECT_TRUE(rig.Line().IsPlugged()); // the second answer is still waiting to be read
    EXPECT_EQ(rig.ReadAll().size(), 6);
    EXPECT_FALSE(rig.Line().IsPlugged());
    EXPECT_TRUE(rig.sim->Discovery().EnumerateHidInterfaces().isEmpty());
    EXPECT_EQ(rig.Line().HostWrite(reinterpret_cast<const uint8_t *>("\x02"), 1), 0);
    rig.Line().Plug();
    EXPECT_EQ(rig.Ask(CMD_READ_NAME).size(), 14); // the fault fired once
}

// The instrument ignores what it cannot trust: a bad checksum, an unknown command, noise before STX, and
// a request that stalls half-way. It answers the next good request.
TEST(UartLineFaults, InstrumentIgnoresBadRequests)
{
    SimRig rig;
    QByteArray badChecksum = RequestFrame(CMD_READ_NAME);
    badChecksum[4] = char(badChecksum[4] ^ 1);
    EXPECT_TRUE(rig.Ask(badChecksum).isEmpty());
    EXPECT_TRUE(rig.Ask(RequestFrame(0x29)).isEmpty());
    EXPECT_TRUE(rig.Ask(RequestFrame(CMD_OUTPUT_RECORD)).isEmpty());
    EXPECT_TRUE(rig.Ask(RequestFrame(CMD_READ_NAME).left(3)).isEmpty());
    EXPECT_EQ(rig.Ask(Hex("FF 00 03") + RequestFrame(CMD_READ_BATTERY)), Hex("02 02 33 57 64 03"));
    EXPECT_EQ(rig.Line().DroppedRequestFrames(), 3); // bad checksum, unknown command, stalled request
    EXPECT_EQ(rig.Instrument().RequestCount(CMD_OUTPUT_RECORD), 1);
}
