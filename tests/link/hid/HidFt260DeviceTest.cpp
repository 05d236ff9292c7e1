#include "Ft260ChipModel.h"

#include "CFt260.h"
#include "Clock.h"
#include "HidFt260Device.h"
#include "LinkTestSupport.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using Transfer = Ft260ChipModel::Transfer;
using Bytes = std::vector<uint8_t>;

Transfer Set(Bytes bytes)
{
    return {Transfer::SetFeature, std::move(bytes)};
}
Transfer Get(uint8_t id)
{
    return {Transfer::GetFeature, {id}};
}
Transfer Out(Bytes bytes)
{
    return {Transfer::Output, std::move(bytes)};
}

Bytes Pattern(size_t count, uint32_t seed)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
    return bytes;
}

// Takes every queued byte in reads of an awkward size.
Bytes ReadAll(HidFt260Device &device, FT260_HANDLE handle)
{
    uint32_t waiting = 0;
    EXPECT_EQ(device.UartGetQueueStatus(handle, &waiting), FT260_OK);
    Bytes all;
    uint8_t buffer[97];
    while (waiting > 0) {
        uint32_t got = 0;
        EXPECT_EQ(device.UartRead(handle, buffer, sizeof buffer, sizeof buffer, &got), FT260_OK);
        if (got == 0)
            break;
        all.insert(all.end(), buffer, buffer + got);
        waiting -= std::min(waiting, got);
    }
    return all;
}

// Answers a whole request frame with its first `answerBytes` bytes of a fixed answer and then vanishes,
// as a cable pulled in the middle of an answer.
class VanishingInstrument : public ChipUartPeer {
  public:
    explicit VanishingInstrument(int answerBytes) : m_answerBytes(answerBytes) {}
    bool Present() const override { return !m_gone; }
    void Transmit(const uint8_t *, int) override { m_pending = m_answerBytes; }
    int Receive(uint8_t *buffer, int max) override
    {
        static const uint8_t answer[] = {0x02, 0x05, 0x30, 'V', '1', '.', '0', 0x00, 0x03};
        const int n = std::min(m_pending, max);
        std::copy_n(answer, n, buffer);
        m_gone = m_gone || n > 0;
        m_pending = 0;
        return n;
    }
    void Reset() override {}
    void SetFormat(uint32_t, uint8_t, uint8_t, uint8_t) override {}

  private:
    int m_answerBytes;
    int m_pending = 0;
    bool m_gone = false;
};

// Sends back every byte it is given.
class EchoPeer : public ChipUartPeer {
  public:
    bool Present() const override { return true; }
    void Transmit(const uint8_t *bytes, int count) override { m_echo.insert(m_echo.end(), bytes, bytes + count); }
    int Receive(uint8_t *buffer, int max) override
    {
        const int n = std::min<int>(max, static_cast<int>(m_echo.size()));
        std::copy_n(m_echo.begin(), n, buffer);
        m_echo.erase(m_echo.begin(), m_echo.begin() + n);
        return n;
    }
    void Reset() override { m_echo.clear(); }
    void SetFormat(uint32_t, uint8_t, uint8_t, uint8_t) override {}

  private:
    Bytes m_echo;
};

class HidFt260DeviceTest : public ::testing::Test {
  protected:
    FT260_HANDLE Open()
    {
        FT260_HANDLE handle = nullptr;
        EXPECT_EQ(device.OpenByDevicePath(Ft260ChipModel::kUartPath, &handle), FT260_OK);
        return handle;
    }

    // The peer outlives the device, whose reader threads reach it through the chip.
    template <typename Peer, typename... Args> Peer &Attach(Args &&...args)
    {
        auto peer = std::make_unique<Peer>(std::forward<Args>(args)...);
        Peer &attached = *peer;
        m_peer = std::move(peer);
        chip.SetPeer(&attached);
        return attached;
    }

    VirtualClock clock;
    std::unique_ptr<ChipUartPeer> m_peer;
    Ft260ChipModel chip{clock};
    HidFt260Device device{chip, clock};
};

TEST_F(HidFt260DeviceTest, EveryCallSendsExactlyItsReports)
{
    FT260_HANDLE h = Open();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(chip.Transfers(), std::vector<Transfer>{Get(0xA1)});
    chip.ClearTransfers();

    EXPECT_EQ(device.UartInit(h), FT260_OK);
    EXPECT_EQ(device.SelectGpioAFunction(h, FT260_GPIOA_TX_ACTIVE), FT260_OK);
    EXPECT_EQ(device.UartSetBaudRate(h, 115200), FT260_OK);
    EXPECT_EQ(device.UartSetFlowControl(h, FT260_UART_NO_FLOW_CTRL), FT260_OK);
    EXPECT_EQ(device.UartSetDataCharacteristics(h, 7, 2, 1), FT260_OK);
    const Bytes frame = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    uint32_t written = 0;
    EXPECT_EQ(device.UartWrite(h, frame.data(), 4096, static_cast<uint32_t>(frame.size()), &written), FT260_OK);
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(device.UartReset(h), FT260_OK);

    const std::vector<Transfer> expected = {
        Set({0xA1, 0x03, 0x04}),
        Set({0xA1, 0x41, 0x04, 0x00, 0xC2, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00}),
        Set({0xA1, 0x08, 0x03}),
        Set({0xA1, 0x42, 0x00, 0xC2, 0x01, 0x00}),
        Set({0xA1, 0x03, 0x04}),
        Set({0xA1, 0x43, 0x07}),
        Set({0xA1, 0x44, 0x01}),
        Set({0xA1, 0x45, 0x02}),
        Out({0xF1, 0x06, 0x02, 0x02, 0x31, 0x00, 0x31, 0x03}),
        Set({0xA1, 0x40}),
    };
    EXPECT_EQ(chip.Transfers(), expected);
    EXPECT_EQ(chip.Transmitted(), frame);
    EXPECT_EQ(chip.GpioAFunction(), FT260_GPIOA_TX_ACTIVE);
    EXPECT_EQ(chip.UartResets(), 1);

    // The configuration comes back from report 0xE0, the baud rate little-endian.
    chip.SetConfig({FT260_UART_RTS_CTS, 921600, 7, 2, 2, 1});
    chip.ClearTransfers();
    UartConfig config;
    EXPECT_EQ(device.UartGetConfig(h, &config), FT260_OK);
    EXPECT_EQ(chip.Transfers(), std::vector<Transfer>{Get(0xE0)});
    EXPECT_EQ(config.flowCtrl, FT260_UART_RTS_CTS);
    EXPECT_EQ(config.baudRate, 921600u);
    EXPECT_EQ(config.dataBits, 7);
    EXPECT_EQ(config.parity, 2);
    EXPECT_EQ(config.stopBits, 2);
    EXPECT_EQ(config.breaking, 1);

    EXPECT_EQ(device.Close(h), FT260_OK);
    EXPECT_EQ(chip.OpenConnections(), 0);
}

TEST_F(HidFt260DeviceTest, WritesAreCutIntoDataReportsOfAtMostSixtyBytes)
{
    FT260_HANDLE h = Open();
    // count -> report IDs of the reports it takes
    const std::vector<std::pair<uint32_t, Bytes>> cases = {
        {1, {0xF0}},
        {4, {0xF0}},
        {5, {0xF1}},
        {59, {0xFE}},
        {60, {0xFE}},
        {61, {0xFE, 0xF0}},
        {124, {0xFE, 0xFE, 0xF0}},
    };
    for (const auto &[count, ids] : cases) {
        chip.ClearTransfers();
        const Bytes data = Pattern(count, count);
        uint32_t written = 0;
        EXPECT_EQ(device.UartWrite(h, data.data(), count, count, &written), FT260_OK);
        EXPECT_EQ(written, count);
        const std::vector<Transfer> transfers = chip.Transfers();
        ASSERT_EQ(transfers.size(), ids.size()) << count;
        for (size_t i = 0; i < ids.size(); ++i)
            EXPECT_EQ(transfers[i].bytes[0], ids[i]) << count;
    }

    // 1030 bytes: seventeen full reports and one of ten, each ID, count and data exact.
    chip.ClearTransfers();
    const Bytes data = Pattern(1030, 3);
    uint32_t written = 0;
    EXPECT_EQ(device.UartWrite(h, data.data(), 4096, 1030, &written), FT260_OK);
    EXPECT_EQ(written, 1030u);
    const std::vector<Transfer> transfers = chip.Transfers();
    ASSERT_EQ(transfers.size(), 18u);
    for (size_t i = 0; i < transfers.size(); ++i) {
        const size_t n = i < 17 ? 60 : 10;
        Bytes report = {static_cast<uint8_t>(i < 17 ? 0xFE : 0xF2), static_cast<uint8_t>(n)};
        report.insert(report.end(), data.begin() + static_cast<long>(i * 60),
                      data.begin() + static_cast<long>(i * 60 + n));
        EXPECT_EQ(transfers[i], Out(report)) << i;
    }
    Bytes all = chip.Transmitted();
    EXPECT_EQ(Bytes(all.end() - 1030, all.end()), data);

    // Asking to write more than the buffer holds is refused before anything goes out.
    chip.ClearTransfers();
    EXPECT_EQ(device.UartWrite(h, data.data(), 10, 11, &written), FT260_BUFFER_SIZE_ERROR);
    EXPECT_TRUE(chip.Transfers().empty());
}

TEST_F(HidFt260DeviceTest, BurstOfTwoHundredReportsDuringOneSleepLosesNothing)
{
    FT260_HANDLE h = Open();
    // hidapi keeps at most about thirty reports. The model makes the producer wait for room rather than
    // drop, so the burst only gets through if the bridge drains while the caller does nothing at all.
    chip.SetReportLimit(30);
    Bytes expected;
    int statusReports = 0;
    for (int i = 0; i < 200; ++i) {
        const int n = 1 + (i * 37) % 60;
        const Bytes data = Pattern(static_cast<size_t>(n), static_cast<uint32_t>(i));
        // Every fifth report uses the largest ID; the rest of a report past its count is filler.
        const uint8_t id = i % 5 == 0 ? 0xFE : static_cast<uint8_t>(0xF0 + (n - 1) / 4);
        Bytes report(static_cast<size_t>(2 + 4 * (id - 0xF0 + 1)), 0xEE);
        report[0] = id;
        report[1] = static_cast<uint8_t>(n);
        std::copy(data.begin(), data.end(), report.begin() + 2);
        ASSERT_TRUE(chip.QueueInputReport(report)) << "the bridge stopped draining at report " << i;
        expected.insert(expected.end(), data.begin(), data.end());
        if (i % 9 == 0) {
            ASSERT_TRUE(chip.QueueInputReport({0xB1, 0x03, 'B', 'A', 'D'}));
            ++statusReports;
        }
    }
    clock.Sleep(50);
    uint32_t waiting = 0;
    EXPECT_EQ(device.UartGetQueueStatus(h, &waiting), FT260_OK);
    EXPECT_EQ(waiting, expected.size());
    EXPECT_EQ(ReadAll(device, h), expected);
    EXPECT_GT(statusReports, 20);
}

TEST_F(HidFt260DeviceTest, BytesCutAtAnyPointComeOutWholeAndInOrder)
{
    FT260_HANDLE h = Open();
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        chip.SetCutting(seed, static_cast<int>(seed + 1), seed % 2 == 1);
        const Bytes sent = Pattern(3000 + seed * 17, seed);
        ASSERT_TRUE(chip.Receive(sent));
        EXPECT_EQ(ReadAll(device, h), sent) << "seed " << seed;
    }

    // A count byte that claims more than the report holds takes only what is there; a read never
    // fills more than the caller's buffer, whatever it asked for.
    ASSERT_TRUE(chip.QueueInputReport({0xF2, 60, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    uint32_t waiting = 0;
    EXPECT_EQ(device.UartGetQueueStatus(h, &waiting), FT260_OK);
    EXPECT_EQ(waiting, 10u);
    uint8_t small[4] = {};
    uint32_t got = 0;
    EXPECT_EQ(device.UartRead(h, small, sizeof small, 4096, &got), FT260_OK);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(Bytes(small, small + 4), (Bytes{1, 2, 3, 4}));
}

TEST_F(HidFt260DeviceTest, UnpluggingMidExchangeFailsEveryCallWithoutHanging)
{
    FT260_HANDLE h = Open();
    const Bytes request = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    uint32_t written = 0;
    ASSERT_EQ(device.UartWrite(h, request.data(), 4096, 6, &written), FT260_OK);
    ASSERT_TRUE(chip.Receive({0x02, 0x0A, 0x31}));
    chip.Unplug();

    uint32_t waiting = 0;
    uint8_t buffer[16];
    uint32_t got = 0;
    EXPECT_EQ(device.UartGetQueueStatus(h, &waiting), FT260_IO_ERROR);
    EXPECT_EQ(device.UartRead(h, buffer, sizeof buffer, 3, &got), FT260_IO_ERROR);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(device.UartWrite(h, request.data(), 4096, 6, &written), FT260_IO_ERROR);
    UartConfig config;
    EXPECT_EQ(device.UartGetConfig(h, &config), FT260_IO_ERROR);
    EXPECT_EQ(device.UartReset(h), FT260_IO_ERROR);
    EXPECT_EQ(device.Close(h), FT260_OK);
    EXPECT_EQ(chip.OpenConnections(), 0);

    // The handle is gone and the bridge cannot be opened again.
    EXPECT_EQ(device.UartReset(h), FT260_INVALID_HANDLE);
    EXPECT_EQ(device.Close(h), FT260_INVALID_HANDLE);
    FT260_HANDLE again = reinterpret_cast<FT260_HANDLE>(1);
    EXPECT_EQ(device.OpenByDevicePath(Ft260ChipModel::kUartPath, &again), FT260_DEVICE_OPEN_FAIL);
    EXPECT_EQ(again, nullptr);
}

TEST_F(HidFt260DeviceTest, LinkOverAnUnpluggedBridgeEndsInReadFailureThenOpenFailure)
{
    Attach<VanishingInstrument>(4);
    ListedDiscovery discovery;
    discovery.Bridge(Ft260ChipModel::kUartPath);
    CFt260 link(device, discovery, clock);
    link.FindDevice();

    const uint8_t zero = 0;
    uint8_t response[CFt260::kResponseAreaSize];
    const qint64 before = clock.MonotonicMicros();
    EXPECT_EQ(link.Transact(CMD_READ_VERSION, &zero, 1, response), RESULT_READ_FAILED);
    EXPECT_FALSE(link.IsOpen());
    // The failure is seen at the first poll, not after the whole 2.5 s wait.
    EXPECT_LT(clock.MonotonicMicros() - before, 500'000);
    EXPECT_EQ(link.Transact(CMD_READ_VERSION, &zero, 1, response), RESULT_OPEN_FAILED);
    EXPECT_EQ(chip.OpenConnections(), 0);
}

TEST_F(HidFt260DeviceTest, TheReaderWakesAWaiterWhenBytesComeAndWhenTheBridgeGoes)
{
    Waker waker;
    device.SetInputWaker(&waker);
    FT260_HANDLE h = Open();
    SystemClock real; // the reader thread runs in real time

    quint64 seen = waker.Epoch();
    ASSERT_TRUE(chip.Receive({0x02, 0x02, 0x33}));
    real.WaitUntil(real.MonotonicMicros() + 30'000'000, waker, seen);
    EXPECT_NE(waker.Epoch(), seen);
    EXPECT_EQ(ReadAll(device, h), (Bytes{0x02, 0x02, 0x33}));

    seen = waker.Epoch();
    chip.Unplug();
    real.WaitUntil(real.MonotonicMicros() + 30'000'000, waker, seen);
    EXPECT_NE(waker.Epoch(), seen);
    uint32_t waiting = 0;
    EXPECT_EQ(device.UartGetQueueStatus(h, &waiting), FT260_IO_ERROR);
    device.Close(h);
    device.SetInputWaker(nullptr);
}

TEST_F(HidFt260DeviceTest, WriteAfterFourSecondsOfSilenceWakesAPowerSavingChipFirst)
{
    Attach<EchoPeer>();
    chip.SetPowerSaving(true);
    FT260_HANDLE h = Open();
    const Bytes hello = {'h', 'e', 'l', 'l', 'o'};
    uint32_t written = 0;

    clock.AdvanceMicros(3'900'000);
    chip.ClearTransfers();
    ASSERT_EQ(device.UartWrite(h, hello.data(), 5, 5, &written), FT260_OK);
    EXPECT_EQ(chip.Transfers().front().kind, Transfer::Output);
    EXPECT_EQ(ReadAll(device, h), hello);

    // Long enough for the chip to doze: without the wake-up it would lose the first bytes of the echo.
    clock.AdvanceMicros(6'000'000);
    chip.ClearTransfers();
    ASSERT_EQ(device.UartWrite(h, hello.data(), 5, 5, &written), FT260_OK);
    const std::vector<Transfer> transfers = chip.Transfers();
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_EQ(transfers[0], Get(0xA0));
    EXPECT_EQ(ReadAll(device, h), hello);
    EXPECT_EQ(chip.LostToDoze(), 0);
    EXPECT_EQ(chip.Wakeups(), 1);
}

TEST_F(HidFt260DeviceTest, ChipWithoutPowerSavingIsNeverWoken)
{
    FT260_HANDLE h = Open();
    clock.AdvanceMicros(60'000'000);
    chip.ClearTransfers();
    const uint8_t byte = 0x55;
    uint32_t written = 0;
    ASSERT_EQ(device.UartWrite(h, &byte, 1, 1, &written), FT260_OK);
    EXPECT_EQ(chip.Transfers(), std::vector<Transfer>{Out({0xF0, 0x01, 0x55})});
}

TEST_F(HidFt260DeviceTest, OpeningFailsWhenTheInterfaceCannotBeOpened)
{
    FT260_HANDLE handle = nullptr;
    EXPECT_EQ(device.OpenByDevicePath("9-9:1.1", &handle), FT260_DEVICE_OPEN_FAIL);
    chip.SetAccessible(false);
    EXPECT_EQ(device.OpenByDevicePath(Ft260ChipModel::kUartPath, &handle), FT260_DEVICE_OPEN_FAIL);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(chip.OpenConnections(), 0);
    uint32_t waiting = 0;
    EXPECT_EQ(device.UartGetQueueStatus(nullptr, &waiting), FT260_INVALID_HANDLE);
}

} // namespace
