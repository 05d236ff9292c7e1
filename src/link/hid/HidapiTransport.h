#pragma once

#include "HidTransport.h"

// The transport over hidapi's libusb backend. The kernel's hid_ft260 driver (Linux 6.2 and later) binds
// the chip without a hidraw node, so the hidraw backend cannot see the bridge; libusb detaches the
// kernel driver from the interface it opens and works either way. Interface paths look like
// "1-4.2:1.1" (bus-ports:configuration.interface), the form hid_open_path looks for.
//
// Enumeration reads the USB descriptors through libusb and opens no device: hidapi's hid_enumerate
// opens every matching device for its strings, and in hidapi 0.13 it then reads them through a handle
// it has already closed when an open fails (a crash, every second while discovery runs).
class HidapiTransport final : public HidTransport {
  public:
    HidapiTransport();

    // The HID interfaces of the active configuration of every matching USB device, in libusb's order.
    std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId, uint16_t productId) override;
    std::unique_ptr<HidConnection> Open(const std::string &path) override;
    // Checks the USB device node (/dev/bus/usb/BBB/DDD) the path belongs to, then whether the interface can
    // be claimed while no kernel driver holds it; Allowed when it cannot tell.
    HidAccess Access(const std::string &path) override;

    // The device node of the USB device an interface path names, found through sysfs; empty when the
    // path does not say.
    static std::string UsbDeviceNode(const std::string &path, const std::string &sysfsRoot = "/sys/bus/usb/devices");

    // The path of an interface as hidapi's libusb backend names it: "<bus>-<port>[.<port>...]" for the
    // device, then ":<configuration value>.<interface number>".
    static std::string InterfacePath(int bus, const std::vector<int> &ports, int configuration, int interfaceNumber);
};
