#include "HidBridge.h"

#include "Clock.h"
#include "HidDiscovery.h"
#include "HidFt260Device.h"
#include "HidapiTransport.h"

#include <atomic>

namespace {

// The real bridge and discovery own what they use; private bases are constructed before the public one.
struct TransportPart {
    HidapiTransport transport;
};

// What the last open of a real bridge in this process answered, for the operator's advice.
std::atomic<FT260_STATUS> g_lastOpenStatus{FT260_OK};

class RealHidFt260Device final : private TransportPart, public HidFt260Device {
  public:
    explicit RealHidFt260Device(Clock &clock) : HidFt260Device(transport, clock) {}

    FT260_STATUS OpenByDevicePath(const QString &devicePath, FT260_HANDLE *handle) override
    {
        const FT260_STATUS status = HidFt260Device::OpenByDevicePath(devicePath, handle);
        g_lastOpenStatus = status;
        return status;
    }
};

class RealHidDiscovery final : private TransportPart, public HidDiscovery {
  public:
    RealHidDiscovery() : HidDiscovery(transport) {}
};

} // namespace

std::unique_ptr<Ft260Device> MakeHidFt260Device(Clock &clock)
{
    return std::make_unique<RealHidFt260Device>(clock);
}

std::unique_ptr<DeviceDiscovery> MakeHidDiscovery()
{
    return std::make_unique<RealHidDiscovery>();
}

QString HidOpenFailureAdvice()
{
    HidapiTransport transport;
    return HidOpenFailureAdviceFor(transport, g_lastOpenStatus);
}
