// The simulator behind the desktop's real link: both sides build and check frames with their own code,
// so these exchanges show that they agree on the wire.
#include "CFt260.h"
#include "Commands.h"
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
