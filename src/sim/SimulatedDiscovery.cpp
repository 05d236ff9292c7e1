#include "SimulatedDiscovery.h"

#include "SimulatedUartLine.h"

SimulatedDiscovery::SimulatedDiscovery(const SimulatedUartLine &line, const QString &devicePath)
    : m_line(line), m_devicePath(devicePath)
{
}

QList<HidInterfaceInfo> SimulatedDiscovery::EnumerateHidInterfaces()
{
    std::lock_guard lock(m_mutex);
    ++m_enumerations;
    QList<HidInterfaceInfo> interfaces = m_others;
    if (m_line.IsPlugged())
        interfaces.append(HidInterfaceInfo{m_devicePath, kVendorId, kProductId});
    return interfaces;
}

void SimulatedDiscovery::SetOtherInterfaces(const QList<HidInterfaceInfo> &interfaces)
{
    std::lock_guard lock(m_mutex);
    m_others = interfaces;
}

int SimulatedDiscovery::EnumerationCount() const
{
    std::lock_guard lock(m_mutex);
    return m_enumerations;
}
