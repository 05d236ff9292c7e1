#pragma once

#include <memory>
#include <string>

class Ft260UsbModel;
typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

// The umockdev test bed of this process: a root hub and a hub in sysfs, to which tests plug FT260 models.
// There is one for the process's life, made before libusb first looks at the bus, because libusb keeps
// its device list up to date from uevents and those reach only a monitor opened inside the test bed.
class UsbTestBed {
  public:
    static UsbTestBed &Instance();

    // The model appears on the bus (sysfs entry, device node answered by the model, "add" uevent).
    void Plug(Ft260UsbModel &model);
    // It leaves: URBs in flight complete with -ENODEV, then the "remove" uevent and its sysfs entry go.
    void Unplug(Ft260UsbModel &model);
    // Forgets the model's device node once nothing uses it.
    void Detach(Ft260UsbModel &model);

    // A device address not used before in this process, so that libusb never confuses two devices.
    int NextAddress();

    // The test bed's temporary folder goes with it.
    ~UsbTestBed();

  private:
    UsbTestBed();
    void Add(const std::string &record, const std::string &sysPath);

    UMockdevTestbed *m_testbed;
    int m_nextAddress = 3;
};

// Re-executes the test program inside umockdev's preload when it is not there yet: LD_PRELOAD gets
// libumockdev-preload, after AddressSanitizer's runtime when this build has one (it must come first).
// Returns only when the preload is already in place.
void RunInsideUmockdev(int argc, char **argv);

// A model plugged in for a test's length.
class PluggedBridge {
  public:
    explicit PluggedBridge(Ft260UsbModel &model);
    ~PluggedBridge();
    PluggedBridge(const PluggedBridge &) = delete;
    PluggedBridge &operator=(const PluggedBridge &) = delete;
    void Unplug();

  private:
    Ft260UsbModel &m_model;
    bool m_plugged = true;
};
