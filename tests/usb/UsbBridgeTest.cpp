#include "Ft260UsbModel.h"
#include "UsbTestBed.h"

#include "CFt260.h"
#include "Clock.h"
#include "Commands.h"
#include "HidBridge.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "PacketLogSink.h"
#include "Simulation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

// hidapi's libusb backend and libusb, unchanged from Debian, on an FT260 model behind usbdevfs in
// umockdev's test bed. Everything runs in real time: the instrument's line at 115200 baud on the system
// clock, the bridge's interrupt endpoint polled every millisecond.

namespace {

using Bytes = std::vector<uint8_t>;
using Transfer = Ft260UsbModel::Transfer;
using ::testing::UnorderedElementsAre;

// Records rows as they arrive; the download runs on another thread in the unplug test.
class RecordingOwner : public LinkOwner, public PacketLogSink {
  public:
    PacketLogSink *PacketLog() override { return this; }
    void AddPacket(int, const uint8_t *, int) override {}
    void AddStoredRecordRow(int, const uint8_t *record) override { Add(m_stored, record); }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *record) override { Add(m_continuous, record); }

    std::vector<RawRecord> Stored() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stored;
    }
    std::vector<RawRecord> Continuous() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_continuous;
    }

  private:
    void Add(std::vector<RawRecord> &rows, const uint8_t *record)
    {
        RawRecord r;
        std::copy_n(record, r.size(), r.begin());
        std::lock_guard<std::mutex> lock(m_mutex);
        rows.push_back(r);
    }

    mutable std::mutex m_mutex;
    std::vector<RawRecord> m_stored;
    std::vector<RawRecord> m_continuous;
};

std::vector<RawRecord> StoredRecords(int count)
{
    std::vector<RawRecord> records;
    for (int i = 0; i < count; ++i) {
        const LocalFields t{2024, 1 + (i / 1000) % 12, 1 + (i / 40) % 25, 8 + i % 8, (i * 7) % 60, i % 60};
        records.push_back(MakeRecord(t, 100 + i % 900, 1 + i % 2));
    }
    return records;
}

// One simulated instrument on the UART of one FT260 model, plugged into the test bed at 1-4.<port>.
struct Instrument {
    Instrument(SystemClock &clock, int port, uint8_t chipMode = Ft260UsbModel::kModeBoth,
               const Scenario &scenario = Scenario())
        : sim(scenario, clock), chip({1, UsbTestBed::Instance().NextAddress(), {4, port}, chipMode},
                                     chipMode == Ft260UsbModel::kModeI2cOnly ? nullptr : &sim.Line()),
          plugged(chip)
    {
    }
    std::string UartPath(int interfaceNumber) const { return chip.SysName() + ":1." + std::to_string(interfaceNumber); }

    Simulation sim;
    Ft260UsbModel chip;
    PluggedBridge plugged;
};

// The program's own bridge and discovery, as the windows and the CLI make them.
struct Host {
    explicit Host(SystemClock &clock) : device(MakeHidFt260Device(clock)), discovery(MakeHidDiscovery()) {}
    QStringList Listed() const
    {
        QStringList paths;
        for (const HidInterfaceInfo &info : discovery->EnumerateHidInterfaces())
            paths << info.path;
        return paths;
    }
    std::unique_ptr<Ft260Device> device;
    std::unique_ptr<DeviceDiscovery> discovery;
};

// One bridge with its instrument at 1-4.1, and the link on it as the program sets it up.
struct Rig {
    explicit Rig(const Scenario &scenario = Scenario(), uint8_t chipMode = Ft260UsbModel::kModeBoth)
        : meter(clock, 1, chipMode, scenario), host(clock), link(*host.device, *host.discovery, clock, &owner)
    {
    }
    int DownloadStored(int *rows)
    {
        return link.DownloadStoredRecords(*LocalTimeFromFields({2023, 1, 1, 0, 0, 0}),
                                          *LocalTimeFromFields({2025, 1, 1, 0, 0, 0}), rows);
    }

    SystemClock clock;
    Instrument meter;
    Host host;
    RecordingOwner owner;
    CFt260 link;
};

Scenario WithStored(const std::vector<RawRecord> &records)
{
    Scenario scenario;
    scenario.stored = records;
    return scenario;
}

void PrintTrace(const std::vector<Transfer> &transfers)
{
    if (!std::getenv("TONVALE_USB_TRACE"))
        return;
    for (const Transfer &t : transfers) {
        std::printf("%-14s %02x%s", t.what.c_str(), t.interfaceOrEndpoint, t.refused ? " refused" : "");
        for (uint8_t b : t.bytes)
            std::printf(" %02x", b);
        std::printf("\n");
    }
}

std::vector<Transfer> Only(const std::vector<Transfer> &all, std::initializer_list<const char *> kinds)
{
    std::vector<Transfer> some;
    for (const Transfer &t : all) {
        for (const char *kind : kinds) {
            if (t.what == kind)
                some.push_back(t);
        }
    }
    return some;
}

QByteArray Field(CFt260 &link, uint8_t command)
{
    const uint8_t zero = 0;
    uint8_t response[CFt260::kResponseAreaSize];
    const int result = link.Transact(command, &zero, 1, response);
    if (result != RESULT_OK)
        return QByteArray("result ") + QByteArray::number(result);
    return QByteArray(reinterpret_cast<const char *>(response), link.m_rxLen - 5);
}

TEST(UsbBridgeTest, DiscoveryListsTheUartInterfaceOfEachBridgeWithItsBusPath)
{
    SystemClock clock;
    Instrument both(clock, 1);
    Instrument uartOnly(clock, 2, Ft260UsbModel::kModeUartOnly);
    Host host(clock);
    EXPECT_THAT(host.Listed(), UnorderedElementsAre("1-4.1:1.1", "1-4.2:1.0"));
    // Discovery reads descriptors only: no interface was claimed, no driver detached.
    EXPECT_THAT(Only(both.chip.Transfers(), {"CLAIM", "DISCONNECT"}), ::testing::IsEmpty());

    uartOnly.plugged.Unplug();
    EXPECT_THAT(host.Listed(), UnorderedElementsAre("1-4.1:1.1"));
}

TEST(UsbBridgeTest, OpenReadsTheChipModeAndConfiguresTheUartAsTheKernelDriverDoes)
{
    Rig rig;
    CFt260 &link = rig.link;
    Ft260UsbModel &chip = rig.meter.chip;
    ASSERT_EQ(link.FindDevice(), QStringLiteral("1-4.1:1.1"));
    const QByteArray name = rig.meter.sim.Instrument().IdentityField(CMD_READ_NAME);
    EXPECT_EQ(Field(link, CMD_READ_NAME), name);
    const std::vector<Transfer> seen = chip.Transfers();

    // hidapi took the UART interface from the kernel's driver and claimed it.
    const std::vector<Transfer> kernelSide = Only(seen, {"GETDRIVER", "DISCONNECT", "CLAIM"});
    const std::vector<Transfer> expectedKernelSide = {{"GETDRIVER", 1, {}, false},
                                                      {"GETDRIVER", 1, {}, false},
                                                      {"DISCONNECT", 1, {}, false},
                                                      {"CLAIM", 1, {}, false}};
    EXPECT_EQ(kernelSide, expectedKernelSide);
    EXPECT_EQ(chip.DriverBound(), std::set<int>{0});

    // The system status in full (25 bytes, as the kernel driver reads it at probe), then the UART set to
    // 115200 8N1 without flow control by the same 11-byte request the driver sends.
    const std::vector<Transfer> reports = Only(seen, {"GET_REPORT", "SET_REPORT"});
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports[0].what, "GET_REPORT");
    EXPECT_EQ(reports[0].bytes.size(), 25u);
    EXPECT_EQ(reports[0].bytes[0], 0xA1);
    const Bytes configure = {0xA1, 0x41, 0x04, 0x00, 0xC2, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00};
    const auto configured =
        std::find_if(reports.begin(), reports.end(), [&](const Transfer &t) { return t.bytes == configure; });
    EXPECT_NE(configured, reports.end());
    for (const Transfer &t : seen)
        EXPECT_FALSE(t.refused) << t.what;
    const UartConfig config = chip.Config();
    EXPECT_EQ(config.baudRate, 115200u);
    EXPECT_EQ(config.flowCtrl, FT260_UART_NO_FLOW_CTRL);

    // The request went out in one data report on the UART's interrupt OUT endpoint, and the answer came
    // back on its IN endpoint.
    const std::vector<Transfer> out = Only(seen, {"OUT"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].interfaceOrEndpoint, 0x02);
    EXPECT_EQ(out[0].bytes[0], 0xF0 + (out[0].bytes[1] - 1) / 4);
    EXPECT_FALSE(Only(seen, {"IN"}).empty());

    // Closing gives the interface back to the kernel's driver.
    link.Close();
    EXPECT_EQ(chip.DriverBound(), (std::set<int>{0, 1}));
    PrintTrace(chip.Transfers());
}

TEST(UsbBridgeTest, WhatTheChipRefusesComesBackAsAFailureAndChangesNothing)
{
    Rig rig;
    FT260_HANDLE h = nullptr;
    ASSERT_EQ(rig.host.device->OpenByDevicePath(QStringLiteral("1-4.1:1.1"), &h), FT260_OK);
    ASSERT_EQ(rig.host.device->UartInit(h), FT260_OK);
    // Above the chip's 12 Mbaud: the request stalls, hidapi reports it, the configuration stays.
    EXPECT_NE(rig.host.device->UartSetBaudRate(h, 20'000'000), FT260_OK);
    EXPECT_NE(rig.host.device->UartSetDataCharacteristics(h, 6, 0, 0), FT260_OK);
    UartConfig config{};
    ASSERT_EQ(rig.host.device->UartGetConfig(h, &config), FT260_OK);
    EXPECT_EQ(config.baudRate, 115200u);
    EXPECT_EQ(config.dataBits, 8);
    const std::vector<Transfer> sets = Only(rig.meter.chip.Transfers(), {"SET_REPORT"});
    EXPECT_EQ(std::count_if(sets.begin(), sets.end(), [](const Transfer &t) { return t.refused; }), 2);
    rig.host.device->Close(h);
}

TEST(UsbBridgeTest, AfterASilenceAPowerSavingChipIsWokenBeforeTheRequest)
{
    Rig rig;
    rig.meter.chip.SetPowerSaving(true);
    rig.link.FindDevice();
    const QByteArray name = rig.meter.sim.Instrument().IdentityField(CMD_READ_NAME);
    ASSERT_EQ(Field(rig.link, CMD_READ_NAME), name);

    std::this_thread::sleep_for(std::chrono::microseconds(Ft260UsbModel::kDozeAfterMicros + 500'000));
    rig.meter.chip.ClearTransfers();
    EXPECT_EQ(Field(rig.link, CMD_READ_NAME), name);
    // The chip-version report (13 bytes, as the kernel driver's keep-awake request reads it) came first.
    const std::vector<Transfer> seen = Only(rig.meter.chip.Transfers(), {"GET_REPORT", "OUT"});
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].what, "GET_REPORT");
    EXPECT_EQ(seen[0].bytes.size(), 13u);
    EXPECT_EQ(seen[0].bytes[0], 0xA0);
}

TEST(UsbBridgeTest, StoredDownloadOfTwoThousandRecordsAndAContinuousRunArriveWhole)
{
    const std::vector<RawRecord> records = StoredRecords(2000);
    Scenario scenario = WithStored(records);
    std::vector<RawRecord> run;
    for (int i = 0; i < 200; ++i) // the summary counts up to 255
        run.push_back(MakeRecord({2024, 5, 2, 10, i / 60, i % 60}, 500 + i % 40, 1));
    scenario.continuous.records = run;
    Rig rig(scenario);
    rig.link.FindDevice();

    int rows = 0;
    ASSERT_EQ(rig.DownloadStored(&rows), RESULT_OK);
    EXPECT_EQ(rows, 2000);
    EXPECT_EQ(rig.owner.Stored(), records);

    ASSERT_EQ(rig.link.DownloadContinuousRecords(), RESULT_OK);
    EXPECT_EQ(rig.owner.Continuous(), run);
    for (const Transfer &t : rig.meter.chip.Transfers())
        ASSERT_FALSE(t.refused) << t.what;
}

TEST(UsbBridgeTest, UnplugMidDownloadEndsInTheLinksUnplugResultAndKeepsTheRows)
{
    // Long enough (13 s on the line) that the unplug surely comes first, however loaded the machine.
    const std::vector<RawRecord> records = StoredRecords(10000);
    Rig rig(WithStored(records));
    rig.link.FindDevice();

    int rows = 0;
    auto download = std::async(std::launch::async, [&] { return rig.DownloadStored(&rows); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (rig.owner.Stored().size() < 200 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The chip goes first: every request on its node fails with ENODEV, as usbdevfs answers once the
    // device is gone. Its sysfs entry goes once the link has let go: removing it from umockdev's test bed
    // while hidapi's reader had an ioctl in flight on the node once left that ioctl unanswered for good
    // on a loaded machine, which no kernel does.
    rig.meter.chip.Unplug();
    const bool ended = download.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    rig.meter.plugged.Unplug();
    ASSERT_TRUE(ended);
    EXPECT_EQ(download.get(), RESULT_READ_FAILED);

    const std::vector<RawRecord> kept = rig.owner.Stored();
    EXPECT_GE(kept.size(), 200u);
    EXPECT_LT(kept.size(), records.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), records.begin()));
    // What follows fails instead of talking to a bridge that is gone; a bridge plugged in again (a new
    // device on the same port) is found and answers.
    const QByteArray name = rig.meter.sim.Instrument().IdentityField(CMD_READ_NAME);
    EXPECT_NE(Field(rig.link, CMD_READ_NAME), name);
    Instrument again(rig.clock, 1);
    EXPECT_EQ(rig.link.FindDevice(), QStringLiteral("1-4.1:1.1"));
    EXPECT_EQ(Field(rig.link, CMD_READ_NAME), again.sim.Instrument().IdentityField(CMD_READ_NAME));
    // The link lets go before the new bridge leaves the test bed (as `again` ends, before the rig does):
    // removed with hidapi's reader in an ioctl on its node, the test bed would leave that ioctl unanswered.
    rig.link.Close();
}

// The system clock, except that once armed, the first look at it from another thread than the arming one
// (the bridge's reader thread, noting the time of a report) holds that thread until a condition holds.
class StallingClock final : public Clock {
  public:
    void Arm(std::function<bool()> until)
    {
        m_until = std::move(until);
        m_arming = std::this_thread::get_id();
        m_armed = true;
    }
    qint64 Now() const override { return m_real.Now(); }
    qint64 NowAt(qint64 monotonicMicros) const override { return m_real.NowAt(monotonicMicros); }
    qint64 MonotonicMicros() const override
    {
        if (m_armed && std::this_thread::get_id() != m_arming && m_armed.exchange(false)) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!m_until() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return m_real.MonotonicMicros();
    }
    void Sleep(int milliseconds) override { m_real.Sleep(milliseconds); }
    void WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch) override
    {
        m_real.WaitUntil(deadlineMicros, waker, seenEpoch);
    }

  private:
    SystemClock m_real;
    mutable std::atomic<bool> m_armed{false};
    std::thread::id m_arming;
    std::function<bool()> m_until;
};

TEST(UsbBridgeTest, ReportsLostWhileTheReaderStalledFailTheDownloadInsteadOfLeavingAHole)
{
    // hidapi holds 32 input reports and drops the oldest beyond; the reader is held while 48 come.
    const std::vector<RawRecord> records = StoredRecords(2000);
    SystemClock clock;
    Instrument meter(clock, 1, Ft260UsbModel::kModeBoth, WithStored(records));
    StallingClock deviceClock;
    std::unique_ptr<Ft260Device> device = MakeHidFt260Device(deviceClock);
    std::unique_ptr<DeviceDiscovery> discovery = MakeHidDiscovery();
    RecordingOwner owner;
    CFt260 link(*device, *discovery, clock, &owner);
    link.FindDevice();
    ASSERT_EQ(Field(link, CMD_READ_NAME), meter.sim.Instrument().IdentityField(CMD_READ_NAME));

    const size_t before = Only(meter.chip.Transfers(), {"IN"}).size();
    deviceClock.Arm([&] { return Only(meter.chip.Transfers(), {"IN"}).size() >= before + 48; });
    int rows = 0;
    EXPECT_EQ(link.DownloadStoredRecords(*LocalTimeFromFields({2023, 1, 1, 0, 0, 0}),
                                         *LocalTimeFromFields({2025, 1, 1, 0, 0, 0}), &rows),
              RESULT_READ_FAILED);
    const std::vector<RawRecord> kept = owner.Stored();
    EXPECT_LT(kept.size(), records.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), records.begin()));
}

TEST(UsbBridgeTest, ChipStrappedForI2cOnlyIsRefusedWithItsMessage)
{
    Rig rig(Scenario(), Ft260UsbModel::kModeI2cOnly);
    ASSERT_EQ(rig.link.FindDevice(), QStringLiteral("1-4.1:1.0"));
    EXPECT_EQ(Field(rig.link, CMD_READ_NAME), "result " + QByteArray::number(RESULT_OPEN_FAILED));
    EXPECT_TRUE(HidOpenFailureAdvice().contains(QStringLiteral("I2C 전용")));
    // Nothing was asked of a UART it does not have, and the interface went back to the kernel.
    EXPECT_THAT(Only(rig.meter.chip.Transfers(), {"SET_REPORT", "OUT"}), ::testing::IsEmpty());
    EXPECT_EQ(rig.meter.chip.DriverBound(), std::set<int>{0});
}

TEST(UsbBridgeTest, TwoBridgesAreToldApart)
{
    SystemClock clock;
    Scenario second;
    QByteArray serial = Scenario().identity.at(CMD_READ_SERIAL);
    serial[serial.size() - 1] = serial[serial.size() - 1] == '9' ? '8' : '9';
    second.identity[CMD_READ_SERIAL] = serial;
    Instrument a(clock, 1);
    Instrument b(clock, 2, Ft260UsbModel::kModeBoth, second);
    Host host(clock);
    ASSERT_THAT(host.Listed(), UnorderedElementsAre("1-4.1:1.1", "1-4.2:1.1"));

    // Both open at once, each answering with its own instrument.
    FT260_HANDLE ha = nullptr;
    FT260_HANDLE hb = nullptr;
    ASSERT_EQ(host.device->OpenByDevicePath(QStringLiteral("1-4.1:1.1"), &ha), FT260_OK);
    ASSERT_EQ(host.device->OpenByDevicePath(QStringLiteral("1-4.2:1.1"), &hb), FT260_OK);
    host.device->Close(ha);
    host.device->Close(hb);

    for (Instrument *meter : {&a, &b}) {
        struct OnePath : DeviceDiscovery {
            QString path;
            QList<HidInterfaceInfo> EnumerateHidInterfaces() override { return {{path, 0x0403, 0x6030}}; }
        } only;
        only.path = QString::fromStdString(meter->UartPath(1));
        CFt260 link(*host.device, only, clock);
        link.FindDevice();
        EXPECT_EQ(Field(link, CMD_READ_SERIAL), meter->sim.Instrument().IdentityField(CMD_READ_SERIAL));
    }
    EXPECT_NE(a.sim.Instrument().IdentityField(CMD_READ_SERIAL), b.sim.Instrument().IdentityField(CMD_READ_SERIAL));
}

TEST(UsbBridgeTest, InterfaceHeldByAnotherProgramGivesTheAdviceForIt)
{
    Rig rig;
    rig.meter.chip.SetHeldElsewhere(true);
    rig.link.FindDevice();
    EXPECT_EQ(Field(rig.link, CMD_READ_NAME), "result " + QByteArray::number(RESULT_OPEN_FAILED));
    const std::vector<Transfer> claims = Only(rig.meter.chip.Transfers(), {"CLAIM"});
    ASSERT_FALSE(claims.empty());
    EXPECT_TRUE(claims.front().refused);
    EXPECT_TRUE(HidOpenFailureAdvice().contains(QStringLiteral("다른 프로그램")));
}

} // namespace

int main(int argc, char **argv)
{
    RunInsideUmockdev(argc, argv);
    UsbTestBed::Instance();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
