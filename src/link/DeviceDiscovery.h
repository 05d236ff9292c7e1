#pragma once

#include <QList>
#include <QString>

// One HID interface that discovery saw: its device path and USB identity.
struct HidInterfaceInfo {
    QString path;
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// Where the bridge's presence enters the program. Lists HID interfaces in enumeration order; the real
// one (link/hid) lists the UART interfaces of the FT260 bridges on the bus, the simulated one the
// simulated bridge while it is plugged in. CFt260::FindDevice picks the bridge among them.
class DeviceDiscovery {
  public:
    virtual ~DeviceDiscovery() = default;
    virtual QList<HidInterfaceInfo> EnumerateHidInterfaces() = 0;
};
