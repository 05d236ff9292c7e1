#include "CFt260.h"
#include "Clock.h"
#include "LinkTestSupport.h"
#include "RecordingFt260Device.h"

#include <gtest/gtest.h>

namespace {

// A battery answer carrying 0x55.
const QByteArray kBatteryAnswer = Hex("02 02 33 55 66 03");
const uint8_t kZero = 0;

struct Exchange : ::testing::Test {
    VirtualClock clock;
    RecordingFt260Device device{clock};
    ListedDiscovery discovery;
    LoggingOwner owner;
    CFt260 link{device, discovery, clock, &owner};
    uint8_t response[CFt260::kResponseAreaSize];

    void SetUp() override
    {
        discovery.Bridge("/dev/bridge-a");
        link.FindDevice();
        device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{kBatteryAnswer, 5}; };
    }
    int Battery() { return link.Transact(CMD_READ_BATTERY, &kZero, 1, response); }
    int OpenCount() const { return int(device.calls.filter("Open ").size()); }
};

TEST_F(Exchange, ConfiguredBridgeGetsOnlyInitGpioAndOneQuery)
{
    ASSERT_NE(link.EnsureOpen(), nullptr);
    EXPECT_EQ(link.m_nResult, RESULT_OK);
    EXPECT_EQ(device.calls, QStringList({"Open /dev/bridge-a", "UartInit", "SelectGpioAFunction 3", "UartGetConfig"}));
    // Opening again on the same path changes nothing, not even the result.
    link.m_nResult = 42;
    link.EnsureOpen();
    EXPECT_EQ(link.m_nResult, 42);
    EXPECT_EQ(OpenCount(), 1);
}

TEST_F(Exchange, FreshBridgeIsSetTo115200WithoutFlowControl8N1)
{
    device.config = UartConfig{FT260_UART_RTS_CTS, 9600, 7, 1, 2, 0};
    link.EnsureOpen();
    EXPECT_EQ(link.m_nResult, RESULT_OK);
    EXPECT_TRUE(device.calls.contains("UartSetBaudRate 115200"));
    EXPECT_TRUE(device.calls.contains("UartSetFlowControl 4"));
    EXPECT_TRUE(device.calls.contains("UartSetDataCharacteristics 8 0 0"));
}

TEST_F(Exchange, SuccessfulExchangeCopiesTheDataAndLogsBothWays)
{
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(response[0], 0x55);
    EXPECT_EQ(response[1], 0x00);
    EXPECT_EQ(device.writes.last(), Hex("02 02 33 00 33 03"));
    EXPECT_EQ(owner.packets, QStringList({"W:02 02 33 00 33 03", "R:02 02 33 55 66 03"}));
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.m_tLastWrite, clock.Now());
}

TEST_F(Exchange, ExtraBytesAreDrainedAndLoggedAndTheAnswerStillCounts)
{
    device.responder = [](const QByteArray &) {
        return RecordingFt260Device::Answer{kBatteryAnswer + Hex("AA BB"), 5};
    };
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(owner.packets.last(), "R:aa bb");
    EXPECT_EQ(device.Pending(), 0);
    // The trace still sees the answer itself.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(link.m_rxBuf), link.m_rxLen), kBatteryAnswer);
}

TEST_F(Exchange, LateAnswerFailsClosesAndIsFlushedBeforeTheNextRequest)
{
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{kBatteryAnswer, 2600}; };
    const qint64 before = clock.MonotonicMicros();
    EXPECT_EQ(Battery(), RESULT_READ_FAILED);
    EXPECT_EQ(clock.MonotonicMicros() - before, 50 * 50 * 1000);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.m_rxLen, 0);
    EXPECT_EQ(owner.packets.last(), "R:");
    EXPECT_EQ(response[0], 0);

    clock.Sleep(200);
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{kBatteryAnswer, 5}; };
    owner.packets.clear();
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(owner.packets, QStringList({"R:02 02 33 55 66 03", "W:02 02 33 00 33 03", "R:02 02 33 55 66 03"}));
}

TEST_F(Exchange, FailedExchangeReopensTheSamePathWithoutDiscovery)
{
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 33 55 67 03"), 5}; };
    EXPECT_EQ(Battery(), RESULT_BAD_CRC);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(response[0], 0);
    EXPECT_EQ(link.m_strDevicePath, "/dev/bridge-a");
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{kBatteryAnswer, 5}; };
    const int enumerations = discovery.enumerations;
    EXPECT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(discovery.enumerations, enumerations);
    EXPECT_EQ(OpenCount(), 2);
    EXPECT_EQ(device.calls.filter("Open ").last(), "Open /dev/bridge-a");
}

TEST_F(Exchange, GarbageWaitingBeforeTheRequestIsLoggedAndIgnored)
{
    link.EnsureOpen();
    device.Inject(Hex("FF 00 02"));
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(owner.packets.first(), "R:ff 00 02");
    EXPECT_EQ(response[0], 0x55);
}

TEST_F(Exchange, WithoutALogWindowTheExchangeIsTheSame)
{
    owner.logWindowOpen = false;
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(response[0], 0x55);
    EXPECT_TRUE(owner.packets.isEmpty());
}

TEST_F(Exchange, WriteFailureGives1093AndCloses)
{
    device.failWrite = true;
    EXPECT_EQ(Battery(), RESULT_WRITE_FAILED);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.GetResultText(), QString::fromUtf8("UART 쓰기 실패 (-1093)"));
}

TEST_F(Exchange, RequestsTheFrameCannotCarryNeverReachTheWire)
{
    std::vector<uint8_t> big(CFt260::kMaxLongData + 1);
    EXPECT_EQ(link.Transact(0x2F, &kZero, 1, response), RESULT_BAD_ID);
    EXPECT_EQ(link.Transact(0x4C, &kZero, 1, response), RESULT_BAD_ID);
    EXPECT_EQ(link.Transact(CMD_READ_NAME, big.data(), 255, response), RESULT_BAD_LENGTH);
    EXPECT_EQ(link.TransactLong(CMD_FW_DATA, big.data(), int(big.size()), response), RESULT_BAD_LENGTH);
    EXPECT_TRUE(device.calls.isEmpty());
}

TEST_F(Exchange, LongExchangeWaitsUpToFiveSeconds)
{
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 4A 02 48 03"), 4000}; };
    std::vector<uint8_t> block(1024, 0xA5);
    ASSERT_EQ(link.TransactLong(CMD_FW_DATA, block.data(), 1024, response), RESULT_OK);
    EXPECT_EQ(response[0], 0x02);
    EXPECT_EQ(device.writes.last().size(), 1030);

    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 4A 02 48 03"), 6000}; };
    const qint64 before = clock.MonotonicMicros();
    EXPECT_EQ(link.TransactLong(CMD_FW_DATA, block.data(), 1024, response), RESULT_READ_FAILED);
    EXPECT_EQ(clock.MonotonicMicros() - before, 100 * 50 * 1000);
}

// An answer that is not the request's own is never handed to the caller: a whole frame of another
// command (or of this command at another length) is dropped and the wait goes on within the same time.
TEST_F(Exchange, AnswersOfOtherCommandsAreDroppedAndTheWaitGoesOn)
{
    // A late name answer (14 bytes, like the 15 t serial's) comes first, then the battery's own.
    const QByteArray lateName = Hex("02 0A 31 50 46 4D 2D 33 30 30 30 00 4C 03");
    ASSERT_EQ(lateName.size(), 14);
    device.responder = [&](const QByteArray &) {
        return RecordingFt260Device::Answer{
            Hex("02 0C 42 01 07 E8 05 01 09 14 00 05 B6 01 09 03") + lateName + kBatteryAnswer, 5};
    };
    ASSERT_EQ(Battery(), RESULT_OK);
    EXPECT_EQ(response[0], 0x55);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(link.m_rxBuf), link.m_rxLen), kBatteryAnswer);
    // Everything that came was logged as read.
    QStringList read = owner.packets.filter("R:");
    read.replaceInStrings("R:", "");
    read.removeAll("");
    EXPECT_EQ(read.join(' '),
              "02 0c 42 01 07 e8 05 01 09 14 00 05 b6 01 09 03 02 0a 31 50 46 4d 2d 33 30 30 30 00 4c 03 "
              "02 02 33 55 66 03");

    // Only another command's answer comes: -1088 once the time is up, the area stays zero.
    device.responder = [&](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 36 00 36 03"), 5}; };
    const qint64 before = clock.MonotonicMicros();
    EXPECT_EQ(Battery(), RESULT_BAD_ID);
    EXPECT_EQ(clock.MonotonicMicros() - before, 2'500'000);
    EXPECT_EQ(link.GetResultText(), QString::fromUtf8("패킷 수신 실패 (ID) (-1088)"));
    EXPECT_EQ(response[0], 0);
    EXPECT_FALSE(link.IsOpen());

    // The name read answered with a whole, valid frame of its own ID but the battery's length.
    device.responder = [&](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 31 55 64 03"), 5}; };
    EXPECT_EQ(link.Transact(CMD_READ_NAME, &kZero, 1, response), RESULT_BAD_LENGTH);
    EXPECT_EQ(response[0], 0);
}

TEST_F(Exchange, AnAnswerIsTakenOnlyWholeAndAtItsOwnLength)
{
    // While the queue cannot be asked, nothing is read as an answer, however well a shorter frame checks.
    device.responder = [&](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 31 55 64 03"), 5}; };
    link.EnsureOpen();
    device.failQueueStatus = true;
    EXPECT_EQ(link.Transact(CMD_READ_NAME, &kZero, 1, response), RESULT_READ_FAILED);
    EXPECT_EQ(response[0], 0);

    // A broken answer at the head is still judged at once, as the command's answer.
    device.failQueueStatus = false;
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 02 33 55 67 03"), 5}; };
    const qint64 before = clock.MonotonicMicros();
    EXPECT_EQ(Battery(), RESULT_BAD_CRC);
    EXPECT_LT(clock.MonotonicMicros() - before, 200'000);
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("00 02 33 55 66 03"), 5}; };
    EXPECT_EQ(Battery(), RESULT_BAD_STX);
    // A LEN byte hit by noise makes the answer look like the start of a longer one; once the time is up it
    // is still judged as the battery's answer.
    device.responder = [](const QByteArray &) { return RecordingFt260Device::Answer{Hex("02 0A 33 55 66 03"), 5}; };
    EXPECT_EQ(Battery(), RESULT_BAD_CRC);
}

TEST(Discovery, PicksTheFirstBridgeWithinTheLimits)
{
    VirtualClock clock;
    RecordingFt260Device device(clock);
    ListedDiscovery discovery;
    CFt260 link(device, discovery, clock);

    const QString longPath = "/dev/" + QString(130, 'x');
    discovery.interfaces = {{"/dev/keyboard", 0x046D, 0xC31C},
                            {longPath, 0x0403, 0x6030},
                            {"/dev/bridge-1", 0x0403, 0x6030},
                            {"/dev/bridge-2", 0x0403, 0x6030}};
    EXPECT_EQ(link.FindDevice(), "/dev/bridge-1");
    EXPECT_EQ(link.m_strDevicePath, "/dev/bridge-1");

    // Only the first 64 interfaces are examined.
    discovery.interfaces = QList<HidInterfaceInfo>(64, {"/dev/mouse", 0x1234, 0x5678});
    discovery.interfaces.append({"/dev/bridge-65", 0x0403, 0x6030});
    EXPECT_EQ(link.FindDevice(), QString());
}

TEST(Discovery, ANoDeviceFindClosesTheLinkAndTheNextExchangeFailsAtOnce)
{
    VirtualClock clock;
    RecordingFt260Device device(clock);
    ListedDiscovery discovery;
    CFt260 link(device, discovery, clock);
    discovery.Bridge("/dev/bridge-a");
    link.FindDevice();
    ASSERT_NE(link.EnsureOpen(), nullptr);

    discovery.interfaces.clear();
    link.m_nResult = 7;
    EXPECT_EQ(link.FindDevice(), QString());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.m_nResult, 7); // discovery leaves the result alone
    device.calls.clear();
    uint8_t response[CFt260::kResponseAreaSize];
    response[0] = 0xEE;
    EXPECT_EQ(link.Transact(CMD_READ_NAME, &kZero, 1, response), RESULT_OPEN_FAILED);
    EXPECT_TRUE(device.calls.isEmpty());
    EXPECT_EQ(response[0], 0xEE); // untouched when the link cannot be opened
}

TEST(Discovery, ARediscoveredPathClosesTheOldHandleFirst)
{
    VirtualClock clock;
    RecordingFt260Device device(clock);
    ListedDiscovery discovery;
    CFt260 link(device, discovery, clock);
    discovery.Bridge("/dev/bridge-a");
    link.FindDevice();
    link.EnsureOpen();
    discovery.Bridge("/dev/bridge-b");
    link.FindDevice();
    device.calls.clear();
    link.EnsureOpen();
    ASSERT_GE(device.calls.size(), 3);
    EXPECT_EQ(device.calls.mid(0, 3), QStringList({"UartReset", "Close", "Open /dev/bridge-b"}));
    EXPECT_EQ(link.m_strOpenPath, "/dev/bridge-b");
}

TEST(Discovery, OpenFailureGives1100)
{
    VirtualClock clock;
    RecordingFt260Device device(clock);
    ListedDiscovery discovery;
    CFt260 link(device, discovery, clock);
    EXPECT_EQ(link.EnsureOpen(), nullptr);
    EXPECT_EQ(link.m_nResult, RESULT_OPEN_FAILED);
    discovery.Bridge("/dev/bridge-a");
    link.FindDevice();
    device.failOpen = true;
    EXPECT_EQ(link.EnsureOpen(), nullptr);
    EXPECT_EQ(link.GetResultText(), QString::fromUtf8("장비 열기 실패 (-1100)"));
}

} // namespace
