#include "Ft260ChipModel.h"

#include "CFt260.h"
#include "Clock.h"
#include "HidDiscovery.h"
#include "HidFt260Device.h"
#include "HidapiTransport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

HidDeviceEntry Interface(const std::string &device, int number, uint16_t productId = 0x6030)
{
    return {device + ":1." + std::to_string(number), 0x0403, productId, number, device};
}

QStringList Paths(const QList<HidInterfaceInfo> &interfaces)
{
    QStringList paths;
    for (const HidInterfaceInfo &info : interfaces) {
        EXPECT_EQ(info.vendorId, 0x0403);
        EXPECT_EQ(info.productId, 0x6030);
        paths << info.path;
    }
    return paths;
}

class HidDiscoveryTest : public ::testing::Test {
  protected:
    VirtualClock clock;
    Ft260ChipModel bus{clock};
    HidDiscovery discovery{bus};
    HidFt260Device device{bus, clock};
};

TEST_F(HidDiscoveryTest, ListsTheUartInterfaceOfEveryBridgeInBusOrder)
{
    // A bridge in the default mode (I2C 0, UART 1) and its interfaces listed in either order, one in
    // UART-only mode (a single interface 0), and another product of the vendor.
    bus.SetInterfaces({Interface("3-1", 1), Interface("3-1", 0), Interface("1-2.4", 0), Interface("2-7", 0),
                       Interface("2-7", 1), Interface("1-9", 0, 0x6001)});
    EXPECT_EQ(Paths(discovery.EnumerateHidInterfaces()), (QStringList{"3-1:1.1", "1-2.4:1.0", "2-7:1.1"}));

    bus.Unplug();
    EXPECT_TRUE(discovery.EnumerateHidInterfaces().isEmpty());
}

TEST_F(HidDiscoveryTest, AdvisesTheUdevRuleOnlyForABridgeThisUserMayNotOpen)
{
    EXPECT_TRUE(HidOpenFailureAdviceFor(bus, FT260_DEVICE_OPEN_FAIL).isEmpty());

    bus.SetAccessible(false);
    const QString advice = HidOpenFailureAdviceFor(bus, FT260_DEVICE_OPEN_FAIL);
    EXPECT_TRUE(advice.contains("70-tonvale-ft260.rules")) << advice.toStdString();
    EXPECT_TRUE(advice.contains("udevadm"));

    bus.SetInterfaces({});
    EXPECT_TRUE(HidOpenFailureAdviceFor(bus, FT260_DEVICE_OPEN_FAIL).isEmpty());
}

// Strapped for I2C only, the chip shows one interface, as in UART-only mode: discovery lists it, the
// open reads the chip mode and refuses it, and the operator is told why.
TEST_F(HidDiscoveryTest, BridgeStrappedForI2cOnlyIsRefusedWithItsOwnAdvice)
{
    bus.SetInterfaces({Interface("1-3", 0)});
    bus.SetChipMode(1);
    CFt260 link(device, discovery, clock);
    EXPECT_EQ(link.FindDevice(), QString("1-3:1.0"));
    EXPECT_EQ(link.EnsureOpen(), nullptr);
    EXPECT_EQ(link.GetResultText(), QString("장비 열기 실패 (-1100)"));
    EXPECT_EQ(bus.OpenConnections(), 0);
    // Only the status was read: nothing was set up on a UART the chip does not have.
    EXPECT_EQ(bus.Transfers(), (std::vector<Ft260ChipModel::Transfer>{{Ft260ChipModel::Transfer::GetFeature, {0xA1}}}));
    FT260_HANDLE handle = nullptr;
    const FT260_STATUS status = device.OpenByDevicePath("1-3:1.0", &handle);
    EXPECT_EQ(status, FT260_INCORRECT_CHIP_MODE);
    EXPECT_EQ(handle, nullptr);
    const QString advice = HidOpenFailureAdviceFor(bus, status);
    EXPECT_TRUE(advice.contains("I2C 전용 모드")) << advice.toStdString();

    // The same single interface in UART-only mode is the UART.
    bus.SetChipMode(2);
    EXPECT_NE(link.EnsureOpen(), nullptr);
    EXPECT_EQ(link.GetResultText(), QString("성공 (0)"));
}

TEST(HidapiTransportTest, FindsTheUsbDeviceNodeOfAnInterfacePath)
{
    QTemporaryDir sysfs;
    ASSERT_TRUE(sysfs.isValid());
    ASSERT_TRUE(QDir(sysfs.path()).mkpath("1-4.2"));
    const auto write = [&](const QString &name, const QByteArray &text) {
        QFile file(sysfs.path() + "/1-4.2/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write("busnum", "1\n");
    write("devnum", "17\n");
    const std::string root = sysfs.path().toStdString();

    EXPECT_EQ(HidapiTransport::UsbDeviceNode("1-4.2:1.1", root), "/dev/bus/usb/001/017");
    EXPECT_EQ(HidapiTransport::UsbDeviceNode("0003:000a:01", root), "/dev/bus/usb/003/010");
    // Paths that do not name a USB device, or one that sysfs does not know, give nothing.
    EXPECT_EQ(HidapiTransport::UsbDeviceNode("1-5:1.1", root), "");
    EXPECT_EQ(HidapiTransport::UsbDeviceNode("/dev/hidraw3", root), "");
    // Discovery names interfaces the way hidapi's libusb backend does, so the node is found for them too.
    EXPECT_EQ(HidapiTransport::UsbDeviceNode(HidapiTransport::InterfacePath(1, {4, 2}, 1, 1), root),
              "/dev/bus/usb/001/017");
}

TEST(HidapiTransportTest, InterfacePathsAreWhatHidOpenPathLooksFor)
{
    EXPECT_EQ(HidapiTransport::InterfacePath(1, {4, 2}, 1, 1), "1-4.2:1.1");
    EXPECT_EQ(HidapiTransport::InterfacePath(3, {1}, 1, 0), "3-1:1.0");
    EXPECT_EQ(HidapiTransport::InterfacePath(12, {7, 1, 3, 2}, 2, 1), "12-7.1.3.2:2.1");
}

// The shipped udev rule: the desktop seat gets the bridge through uaccess, sessions without a seat
// through the plugdev group.
TEST(UdevRuleTest, GrantsTheBridgeToTheSeatAndToThePlugdevGroup)
{
    QFile file(QStringLiteral(TONVALE_UDEV_RULE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList rules;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty() && !line.trimmed().startsWith('#'))
            rules << QString::fromUtf8(line.trimmed());
    }
    ASSERT_EQ(rules.size(), 1);
    const QStringList keys = rules[0].split(QRegularExpression(QStringLiteral(",\\s*")));
    for (const char *expected : {R"(SUBSYSTEM=="usb")", R"(ATTRS{idVendor}=="0403")", R"(ATTRS{idProduct}=="6030")",
                                 R"(TAG+="uaccess")", R"(MODE="0660")", R"(GROUP="plugdev")"})
        EXPECT_TRUE(keys.contains(QLatin1String(expected))) << expected << " in " << rules[0].toStdString();
}

} // namespace
