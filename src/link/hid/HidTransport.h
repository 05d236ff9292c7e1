#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The handful of hidapi calls the bridge needs, behind a seam so that a model of the FT260 can stand in
// for the USB bus in tests. Return values follow hidapi: a byte count, 0 for "nothing yet" where that
// applies, -1 for an error.

// One HID interface on the bus.
struct HidDeviceEntry {
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    int interfaceNumber = -1;
    // Names the USB device the interface belongs to, so that the interfaces of one bridge can be told
    // apart from those of another.
    std::string deviceKey;
};

// One opened interface. Write and the feature calls come from the caller's thread while ReadTimeout
// runs on the reader thread; an implementation must allow exactly that overlap.
class HidConnection {
  public:
    virtual ~HidConnection() = default; // closes the interface
    // An output report: byte 0 is the report ID.
    virtual int Write(const uint8_t *report, size_t length) = 0;
    virtual int SendFeature(const uint8_t *report, size_t length) = 0;
    // buffer[0] holds the report ID on entry; on return the report, ID included.
    virtual int GetFeature(uint8_t *buffer, size_t length) = 0;
    // The next input report, waiting at most timeoutMs; 0 when none came, -1 once the device is gone.
    virtual int ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs) = 0;
};

// Whether this user can have an interface, as far as can be told without opening it for good.
enum class HidAccess {
    Allowed,
    Denied,        // the device node refuses this user
    HeldElsewhere, // another program has claimed the interface
};

class HidTransport {
  public:
    virtual ~HidTransport() = default;
    // The interfaces with this identity, in the bus's enumeration order.
    virtual std::vector<HidDeviceEntry> Enumerate(uint16_t vendorId, uint16_t productId) = 0;
    // Null when the interface cannot be opened.
    virtual std::unique_ptr<HidConnection> Open(const std::string &path) = 0;
    // Allowed unless this user is known to lack the right to open the interface or another program holds it.
    virtual HidAccess Access(const std::string &path) = 0;
};
