#include "Commands.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct BridgeRig : SimRig {
    SimulatedBridge &bridge = sim->Bridge();
    FT260_HANDLE handle = nullptr;

    FT260_HANDLE Open()
    {
        EXPECT_EQ(bridge.OpenByDevicePath(bridge.DevicePath(), &handle), FT260_OK);
        return handle;
    }
    void Configure115200()
    {
        bridge.UartSetBaudRate(handle, 115200);
        bridge.UartSetFlowControl(handle, FT260_UART_NO_FLOW_CTRL);
    }
    FT260_STATUS Send(const QByteArray &bytes)
    {
        uint32_t written = 0;
        return bridge.UartWrite(handle, reinterpret_cast<const uint8_t *>(bytes.constData()), 4096,
                                uint32_t(bytes.size()), &written);
    }
    uint32_t Queued()
    {
        uint32_t n = 0;
        EXPECT_EQ(bridge.UartGetQueueStatus(handle, &n), FT260_OK);
        return n;
    }
};

} // namespace

TEST(SimulatedBridge, FreshBridgeRunsAt9600UntilConfigured)
{
    BridgeRig rig;
    rig.bridge.SetConfig(SimulatedBridge::FreshConfig());
    rig.Open();
    UartConfig config;
    ASSERT_EQ(rig.bridge.UartGetConfig(rig.handle, &config), FT260_OK);
    EXPECT_EQ(config.baudRate, 9600u);
    ASSERT_EQ(rig.Send(RequestFrame(CMD_READ_NAME)), FT260_OK);
    rig.clock.Sleep(100);
    EXPECT_EQ(rig.Queued(), 0u);

    rig.Configure115200();
    ASSERT_EQ(rig.Send(RequestFrame(CMD_READ_NAME)), FT260_OK);
    rig.clock.Sleep(100);
    ASSERT_EQ(rig.Queued(), 14u);
    uint8_t buffer[4096];
    uint32_t got = 0;
    EXPECT_EQ(rig.bridge.UartRead(rig.handle, buffer, 4096, 20, &got), FT260_OK); // takes what is there
    EXPECT_EQ(got, 14u);
}

TEST(SimulatedBridge, RecordsEveryCallWithItsArguments)
{
    UartConfig ready = SimulatedBridge::FreshConfig();
    ready.baudRate = 115200;
    ready.flowCtrl = FT260_UART_NO_FLOW_CTRL;
    BridgeRig rig;
    rig.bridge.SetConfig(ready);
    rig.Open();
    rig.bridge.UartInit(rig.handle);
    rig.bridge.SelectGpioAFunction(rig.handle, FT260_GPIOA_TX_ACTIVE);
    UartConfig config;
    rig.bridge.UartGetConfig(rig.handle, &config);
    rig.bridge.UartSetDataCharacteristics(rig.handle, 8, 0, 0);
    EXPECT_EQ(rig.bridge.CallNames(), QStringList({"OpenByDevicePath", "UartInit", "SelectGpioAFunction",
                                                   "UartGetConfig", "UartSetDataCharacteristics"}));
    EXPECT_EQ(rig.bridge.Calls()[2].ToString(), "SelectGpioAFunction(3)");
    EXPECT_EQ(rig.bridge.Calls()[4].ToString(), "UartSetDataCharacteristics(8, 0, 0)");
    EXPECT_EQ(rig.bridge.GpioAFunction(), FT260_GPIOA_TX_ACTIVE);
}

TEST(SimulatedBridge, RejectsForeignHandlesPathsAndUnsafeCounts)
{
    BridgeRig rig;
    FT260_HANDLE other = nullptr;
    EXPECT_EQ(rig.bridge.OpenByDevicePath("sim:ft260/9", &other), FT260_DEVICE_NOT_FOUND);
    EXPECT_EQ(rig.bridge.OpenByDevicePath(rig.bridge.DevicePath(), nullptr), FT260_INVALID_PARAMETER);
    rig.Open();
    int foreign = 0;
    EXPECT_EQ(rig.bridge.UartInit(&foreign), FT260_INVALID_HANDLE);
    EXPECT_EQ(rig.bridge.UartInit(nullptr), FT260_INVALID_HANDLE);
    uint8_t buffer[16];
    uint32_t count = 0;
    EXPECT_EQ(rig.bridge.UartRead(rig.handle, buffer, 16, 17, &count), FT260_BUFFER_SIZE_ERROR);
    EXPECT_EQ(rig.bridge.UartWrite(rig.handle, buffer, 16, 17, &count), FT260_BUFFER_SIZE_ERROR);
    EXPECT_EQ(rig.bridge.UartSetBaudRate(rig.handle, 100), FT260_UART_SET_FAIL);
    EXPECT_EQ(rig.bridge.UartSetDataCharacteristics(rig.handle, 9, 0, 0), FT260_UART_SET_FAIL);
    EXPECT_EQ(rig.bridge.Config().baudRate, 115200u); // unchanged by the refused settings
    EXPECT_EQ(rig.bridge.Config().dataBits, 8);
    EXPECT_EQ(rig.bridge.Close(rig.handle), FT260_OK);
    EXPECT_EQ(rig.bridge.UartInit(rig.handle), FT260_INVALID_HANDLE);
    EXPECT_EQ(rig.bridge.OpenHandleCount(), 0);
}

TEST(SimulatedBridge, UnplugFailsEveryCallAndKillsOldHandles)
{
    BridgeRig rig;
    rig.Open();
    rig.Configure115200();
    ASSERT_EQ(rig.Send(RequestFrame(CMD_READ_NAME)), FT260_OK);
    rig.clock.Sleep(100);
    ASSERT_EQ(rig.Queued(), 14u);

    rig.bridge.Unplug();
    EXPECT_TRUE(rig.sim->Discovery().EnumerateHidInterfaces().isEmpty());
    uint32_t n = 0;
    EXPECT_EQ(rig.bridge.UartGetQueueStatus(rig.handle, &n), FT260_IO_ERROR);
    EXPECT_EQ(rig.Send(RequestFrame(CMD_READ_NAME)), FT260_IO_ERROR);
    EXPECT_EQ(rig.bridge.UartReset(rig.handle), FT260_IO_ERROR);
    FT260_HANDLE second = nullptr;
    EXPECT_EQ(rig.bridge.OpenByDevicePath(rig.bridge.DevicePath(), &second), FT260_DEVICE_NOT_FOUND);

    rig.bridge.Plug();
    const auto listed = rig.sim->Discovery().EnumerateHidInterfaces();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].path, "sim:ft260/0");
    EXPECT_EQ(listed[0].vendorId, 0x0403);
    EXPECT_EQ(listed[0].productId, 0x6030);
    EXPECT_EQ(rig.bridge.UartInit(rig.handle), FT260_INVALID_HANDLE); // opened before the unplug
    FT260_HANDLE old = rig.handle;
    rig.Open();
    EXPECT_NE(rig.handle, old);
    EXPECT_EQ(rig.Queued(), 0u); // the answer was lost with the bridge
}

TEST(SimulatedBridge, ResetClearsQueuedInput)
{
    BridgeRig rig;
    rig.Open();
    rig.Configure115200();
    rig.Send(RequestFrame(CMD_READ_NAME));
    rig.clock.Sleep(100);
    ASSERT_EQ(rig.Queued(), 14u);
    EXPECT_EQ(rig.bridge.UartReset(rig.handle), FT260_OK);
    EXPECT_EQ(rig.Queued(), 0u);
    EXPECT_EQ(rig.bridge.Config().baudRate, 115200u); // a reset keeps the configuration
}

TEST(SimulatedDiscovery, ListsOtherInterfacesBeforeTheBridge)
{
    SimRig rig;
    rig.sim->Discovery().SetOtherInterfaces({{"hid:mouse", 0x046D, 0xC077}});
    const auto listed = rig.sim->Discovery().EnumerateHidInterfaces();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0].path, "hid:mouse");
    EXPECT_EQ(listed[1].path, "sim:ft260/0");
    EXPECT_EQ(rig.sim->Discovery().EnumerationCount(), 1);
}
