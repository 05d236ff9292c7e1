#include "HidDiscovery.h"

#include "HidTransport.h"

#include <algorithm>

namespace {

// The UART interfaces among the bridge interfaces on the bus, in the bus's order.
std::vector<HidDeviceEntry> UartInterfaces(HidTransport &transport)
{
    const std::vector<HidDeviceEntry> all = transport.Enumerate(HidDiscovery::kVendorId, HidDiscovery::kProductId);
    std::vector<HidDeviceEntry> uart;
    for (const HidDeviceEntry &entry : all) {
        const auto siblings = std::count_if(
            all.begin(), all.end(), [&](const HidDeviceEntry &other) { return other.deviceKey == entry.deviceKey; });
        if (entry.interfaceNumber == 1 || siblings == 1)
            uart.push_back(entry);
    }
    return uart;
}

} // namespace

QList<HidInterfaceInfo> HidDiscovery::EnumerateHidInterfaces()
{
    QList<HidInterfaceInfo> found;
    for (const HidDeviceEntry &entry : UartInterfaces(m_transport))
        found.append({QString::fromStdString(entry.path), entry.vendorId, entry.productId});
    return found;
}

QString HidOpenFailureAdviceFor(HidTransport &transport, FT260_STATUS lastOpenStatus)
{
    if (lastOpenStatus == FT260_INCORRECT_CHIP_MODE)
        return QStringLiteral("연결된 USB 장비(FT260)가 I2C 전용 모드로 설정되어 있어 UART 통신을 할 수 없습니다. "
                              "계측기의 USB 케이블이 맞는지 확인하고, 계속되면 제조사 A/S에 문의하십시오.");
    for (const HidDeviceEntry &entry : UartInterfaces(transport)) {
        switch (transport.Access(entry.path)) {
        case HidAccess::Denied:
            return QStringLiteral("USB 장비(FT260)를 열 권한이 없습니다. 70-tonvale-ft260.rules 파일을 "
                                  "/etc/udev/rules.d/ 에 복사하고 'sudo udevadm control --reload-rules && "
                                  "sudo udevadm trigger' 를 실행한 뒤 장비를 다시 연결하십시오.");
        case HidAccess::HeldElsewhere:
            return QStringLiteral("다른 프로그램이 USB 장비(FT260)를 사용하고 있습니다. 그 프로그램을 닫은 뒤 "
                                  "다시 연결하십시오.");
        case HidAccess::Allowed: break;
        }
    }
    return QString();
}
