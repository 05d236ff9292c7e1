#pragma once

#include "DeviceDiscovery.h"

#include <QString>

class HidTransport;

// Lists the UART interface of every FT260 bridge on the bus, in enumeration order. In its default modes
// the chip shows two HID interfaces, I2C (0) and UART (1); in UART-only mode it shows one. So interface 1
// is taken, or the only interface of a bridge that has just one.
class HidDiscovery : public DeviceDiscovery {
  public:
    static constexpr quint16 kVendorId = 0x0403;
    static constexpr quint16 kProductId = 0x6030;

    explicit HidDiscovery(HidTransport &transport) : m_transport(transport) {}
    QList<HidInterfaceInfo> EnumerateHidInterfaces() override;

  private:
    HidTransport &m_transport;
};

// The operator's advice when a bridge is on the bus but this user may not open it; empty otherwise.
QString HidAccessAdviceFor(HidTransport &transport);
