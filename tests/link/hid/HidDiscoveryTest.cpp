#include "Ft260ChipModel.h"

#include "Clock.h"
#include "HidDiscovery.h"
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
    EXPECT_TRUE(HidAccessAdviceFor(bus).isEmpty());

    bus.SetAccessible(false);
    const QString advice = HidAccessAdviceFor(bus);
    EXPECT_TRUE(advice.contains("70-tonvale-ft260.rules")) << advice.toStdString();
    EXPECT_TRUE(advice.contains("udevadm"));

    bus.SetInterfaces({});
    EXPECT_TRUE(HidAccessAdviceFor(bus).isEmpty());
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
