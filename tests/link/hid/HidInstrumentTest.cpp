#include "Ft260ChipModel.h"

#include "CFt260.h"
#include "Clock.h"
#include "HidDiscovery.h"
#include "HidFt260Device.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "PacketLogSink.h"
#include "Simulation.h"

#include <gtest/gtest.h>

namespace {

using Transfer = Ft260ChipModel::Transfer;
using Bytes = std::vector<uint8_t>;

// The simulated instrument's UART line on the chip's pins.
class LinePeer : public ChipUartPeer {
  public:
    explicit LinePeer(SimulatedUartLine &line) : m_line(line) {}
    bool Present() const override { return m_line.IsPlugged(); }
    void Transmit(const uint8_t *bytes, int count) override { m_line.HostWrite(bytes, count); }
    int Receive(uint8_t *buffer, int max) override { return m_line.HostRead(buffer, max); }
    void Reset() override { m_line.ResetHostSide(); }
    void SetFormat(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits, uint8_t parity) override
    {
        m_line.SetHostFormat(baudRate, dataBits, stopBits, parity);
    }

  private:
    SimulatedUartLine &m_line;
};

struct RecordingOwner : LinkOwner, PacketLogSink {
    std::vector<Bytes> packets[2]; // written, read
    std::vector<RawRecord> stored;
    PacketLogSink *PacketLog() override { return this; }
    void AddPacket(int direction, const uint8_t *bytes, int count) override
    {
        packets[direction].emplace_back(bytes, bytes + count);
    }
    void AddStoredRecordRow(int, const uint8_t *record) override
    {
        RawRecord r;
        std::copy_n(record, r.size(), r.begin());
        stored.push_back(r);
    }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override {}
};

// The link on the HID bridge over the chip model, with the simulated instrument on the chip's UART. The
// bridge starts at the chip's power-on settings, so opening it has work to do.
struct HidRig {
    explicit HidRig(const Scenario &scenario = Scenario()) : sim(scenario, clock)
    {
        chip.SetPeer(&peer);
        chip.SetCutting(7, 3, true);
    }

    // The UART bytes the chip sent and received, taken from the data reports themselves.
    Bytes SentOnUart() const
    {
        Bytes bytes;
        for (const Transfer &t : chip.Transfers()) {
            if (t.kind == Transfer::Output)
                bytes.insert(bytes.end(), t.bytes.begin() + 2, t.bytes.begin() + 2 + t.bytes[1]);
        }
        return bytes;
    }

    VirtualClock clock;
    Simulation sim;
    LinePeer peer{sim.Line()};
    Ft260ChipModel chip{clock};
    HidFt260Device device{chip, clock};
    HidDiscovery discovery{chip};
    RecordingOwner owner;
    CFt260 link{device, discovery, clock, &owner};
};

Bytes ShortFrame(uint8_t command, const QByteArray &data)
{
    Bytes frame = {0x02, static_cast<uint8_t>(data.size() + 1), command};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t x = 0;
    for (uint8_t b : frame)
        x ^= b;
    frame.push_back(x);
    frame.push_back(0x03);
    return frame;
}

TEST(HidInstrumentTest, ExchangesRunThroughHidReportsByteForByte)
{
    HidRig rig;
    rig.chip.SetPowerSaving(true);
    ASSERT_EQ(rig.link.FindDevice(), QString(Ft260ChipModel::kUartPath));

    const uint8_t zero = 0;
    uint8_t response[CFt260::kResponseAreaSize];
    ASSERT_EQ(rig.link.Transact(CMD_READ_NAME, &zero, 1, response), RESULT_OK);

    // Opening: status, UART mode and configuration, GPIO-A, one look at the configuration (already
    // right after the init), then the request in one data report.
    const Bytes request = ShortFrame(CMD_READ_NAME, QByteArray(1, '\0'));
    Bytes dataReport = {static_cast<uint8_t>(0xF0 + (request.size() - 1) / 4), static_cast<uint8_t>(request.size())};
    dataReport.insert(dataReport.end(), request.begin(), request.end());
    const std::vector<Transfer> expected = {
        {Transfer::GetFeature, {0xA1}},
        {Transfer::SetFeature, {0xA1, 0x03, 0x04}},
        {Transfer::SetFeature, {0xA1, 0x41, 0x04, 0x00, 0xC2, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00}},
        {Transfer::SetFeature, {0xA1, 0x08, 0x03}},
        {Transfer::GetFeature, {0xE0}},
        {Transfer::Output, dataReport},
    };
    EXPECT_EQ(rig.chip.Transfers(), expected);

    const QByteArray name = rig.sim.Instrument().IdentityField(CMD_READ_NAME);
    const Bytes answer = ShortFrame(CMD_READ_NAME, name);
    EXPECT_EQ(Bytes(rig.link.m_rxBuf, rig.link.m_rxBuf + rig.link.m_rxLen), answer);
    EXPECT_EQ(Bytes(response, response + name.size()), Bytes(name.begin(), name.end()));
    EXPECT_EQ(rig.owner.packets[PacketLogSink::Written].back(), request);
    EXPECT_EQ(rig.owner.packets[PacketLogSink::Read].back(), answer);

    // Every identity read, then one after a silence long enough for the chip to doze.
    for (uint8_t command : {CMD_READ_VERSION, CMD_READ_SERIAL, CMD_READ_LC15_SN, CMD_READ_LC15_COVER_SN,
                            CMD_READ_LC30_SN, CMD_READ_LC30_COVER_SN, CMD_READ_LC25_COVER_SN}) {
        ASSERT_EQ(rig.link.Transact(command, &zero, 1, response), RESULT_OK) << int(command);
        const QByteArray field = rig.sim.Instrument().IdentityField(command);
        EXPECT_EQ(Bytes(rig.link.m_rxBuf, rig.link.m_rxBuf + rig.link.m_rxLen), ShortFrame(command, field));
    }
    rig.clock.AdvanceMicros(10'000'000);
    EXPECT_EQ(rig.link.Transact(CMD_READ_BATTERY, &zero, 1, response), RESULT_OK);
    EXPECT_EQ(response[0], rig.sim.Instrument().Battery());
    EXPECT_EQ(rig.chip.LostToDoze(), 0);
    EXPECT_EQ(rig.sim.Line().ExchangeCount(), 9);
}

TEST(HidInstrumentTest, FiveHundredStoredRecordsDownloadThroughHidReports)
{
    Scenario scenario;
    std::vector<RawRecord> records;
    for (int i = 0; i < 500; ++i) {
        const LocalFields t{2024, 3, 1 + i / 25, 8 + (i % 25) / 5, (i % 5) * 11, i % 60};
        records.push_back(MakeRecord(t, 100 + i * 3, 1 + i % 2));
    }
    scenario.stored = records;
    HidRig rig(scenario);
    rig.link.FindDevice();

    const qint64 start = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    const qint64 end = *LocalTimeFromFields({2024, 12, 31, 0, 0, 0});
    int rows = 0;
    ASSERT_EQ(rig.link.DownloadStoredRecords(start, end, &rows), RESULT_OK);
    EXPECT_EQ(rows, 500);
    EXPECT_EQ(rig.owner.stored, records);

    // What was logged as read is exactly the record frames and the end marker, in order.
    Bytes read;
    for (const Bytes &packet : rig.owner.packets[PacketLogSink::Read])
        read.insert(read.end(), packet.begin(), packet.end());
    ASSERT_EQ(read.size(), 501u * 15u);
    for (size_t i = 0; i < 500; ++i) {
        const Bytes frame(read.begin() + static_cast<long>(i * 15), read.begin() + static_cast<long>(i * 15 + 15));
        EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 13), Bytes(records[i].begin(), records[i].end())) << i;
    }
    EXPECT_EQ(rig.SentOnUart().back(), 0x03);
}

} // namespace
