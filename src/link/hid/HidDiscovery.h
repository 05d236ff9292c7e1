#pragma once

#include "DeviceDiscovery.h"
#include "Ft260Device.h"

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

// The operator's advice after the bridge could not be opened, given what the last open answered: the
// chip has no UART (FT260_INCORRECT_CHIP_MODE), or a bridge is on the bus that this user may not open or
// that another program holds.
// Empty when there is nothing to advise.
QString HidOpenFailureAdviceFor(HidTransport &transport, FT260_STATUS lastOpenStatus);
