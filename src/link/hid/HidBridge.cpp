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

class RealHidFt260Device final : private TransportPart, public HidFt260Device {
  public:
    explicit RealHidFt260Device(Clock &clock) : HidFt260Device(transport, clock) {}
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

QString HidAccessAdvice()
{
    HidapiTransport transport;
    return HidAccessAdviceFor(transport);
}
