#include "HidBridge.h"

#include "Clock.h"
#include "HidDiscovery.h"
#include "HidFt260Device.h"
#include "HidapiTransport.h"

namespace {

// The real bridge and discovery own what they use; private bases are constructed before the public one.
struct TransportPart {
    HidapiTransport transport;
};

struct ClockPart {
    SystemClock clock;
};

class RealHidFt260Device final : private TransportPart, private ClockPart, public HidFt260Device {
  public:
    RealHidFt260Device() : HidFt260Device(transport, clock) {}
};

class RealHidDiscovery final : private TransportPart, public HidDiscovery {
  public:
    RealHidDiscovery() : HidDiscovery(transport) {}
};

} // namespace

std::unique_ptr<Ft260Device> MakeHidFt260Device()
{
    return std::make_unique<RealHidFt260Device>();
}

std::unique_ptr<DeviceDiscovery> MakeHidDiscovery()
{
    return std::make_unique<RealHidDiscovery>();
}

QString HidAccessAdvice()
{
    HidapiTransport transport;
    return HidAccessAdviceFor(transport);
}
