#pragma once

#include "DeviceDiscovery.h"

#include <mutex>

class SimulatedUartLine;

// Lists the simulated bridge's HID interface (vendor 0x0403, product 0x6030) while it is plugged in, and
// nothing otherwise. Tests may add other interfaces that the desktop must pass over or pick between; they
// are listed before the bridge.
class SimulatedDiscovery : public DeviceDiscovery {
  public:
    static constexpr quint16 kVendorId = 0x0403;
    static constexpr quint16 kProductId = 0x6030;

    SimulatedDiscovery(const SimulatedUartLine &line, const QString &devicePath);

    QList<HidInterfaceInfo> EnumerateHidInterfaces() override;

    void SetOtherInterfaces(const QList<HidInterfaceInfo> &interfaces);
    int EnumerationCount() const;

  private:
    const SimulatedUartLine &m_line;
    const QString m_devicePath;
    mutable std::mutex m_mutex;
    QList<HidInterfaceInfo> m_others;
    int m_enumerations = 0;
};
