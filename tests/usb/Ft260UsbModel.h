#pragma once

#include "Ft260Device.h"

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class SimulatedUartLine;
struct usbdevfs_urb;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

// The FT260 as a host sees it on the bus: its descriptors, its sysfs entry, and the usbdevfs requests a
// libusb host makes of its device node (answered from umockdev's ioctl handler). Control transfers carry
// the feature reports (chip version 0xA0, system status and settings 0xA1, UART configuration 0xE0); the
// interrupt OUT endpoint of the UART interface takes data reports 0xF0..0xFE onto the UART line, and the
// interrupt IN endpoint hands the line's bytes back as data reports, one per 1 ms frame at most (the
// endpoint's polling interval at full speed), so they come at the line's pace.
//
// The chip refuses (stalls) what the FT260 refuses: unknown reports and requests, short reports, data
// reports whose count does not fit their ID, baud rates outside 1200..12M, UART requests on a chip
// strapped for I2C only. The kernel side refuses what usbdevfs refuses: claiming an interface that
// another process holds (EBUSY), transfers on an interface this handle has not claimed, and everything
// once the device is gone (ENODEV; URBs in flight complete with -ENODEV first).
//
// Every request is recorded in order (Transfers) so that tests can compare them with what the datasheet
// and the kernel driver do. Thread-safe: requests come on umockdev's thread, the test looks on its own.
class Ft260UsbModel {
  public:
    // The DCNF0/DCNF1 straps as the system status reports them.
    static constexpr uint8_t kModeBoth = 3;
    static constexpr uint8_t kModeI2cOnly = 1;
    static constexpr uint8_t kModeUartOnly = 2;

    struct Placement {
        int bus = 1;
        int address = 2;
        std::vector<int> ports{1}; // below the root hub
        uint8_t chipMode = kModeBoth;
        std::string serial = "FT260A1";
    };

    // One request the host made, as the bus saw it.
    struct Transfer {
        // "GET_REPORT", "SET_REPORT", "SET_IDLE", "GET_DESCRIPTOR", "OUT", "IN", "DISCARD", "CLAIM",
        // "RELEASE", "GETDRIVER", "DISCONNECT", "CONNECT", or another control request as "CONTROL".
        std::string what;
        int interfaceOrEndpoint = 0;
        std::vector<uint8_t> bytes; // the report or data, ID first; empty for the kernel-side requests
        bool refused = false;
        bool operator==(const Transfer &) const = default;
    };

    Ft260UsbModel(Placement placement, SimulatedUartLine *line);
    Ft260UsbModel(const Ft260UsbModel &) = delete;
    Ft260UsbModel &operator=(const Ft260UsbModel &) = delete;

    // Where it sits: "1-4.2", "/dev/bus/usb/001/005", the sysfs path below /sys.
    std::string SysName() const;
    std::string DeviceNode() const;
    std::string SysPath() const;
    // The device and its interfaces in umockdev's text format, driver "usbhid" bound to each interface.
    std::string SysfsRecord() const;
    int InterfaceCount() const;

    // Another process has claimed the UART interface through usbdevfs.
    void SetHeldElsewhere(bool held);
    // With power saving on, the chip dozes after kDozeAfterMicros without requests. A control request wakes
    // it; a data report wakes it too late, and the first kBytesLostWhenDozing bytes that come back are lost.
    void SetPowerSaving(bool on);
    static constexpr qint64 kDozeAfterMicros = 5'000'000;
    static constexpr int kBytesLostWhenDozing = 2;
    // The device leaves the bus: URBs in flight complete with -ENODEV, every later request fails so.
    void Unplug();

    std::vector<Transfer> Transfers() const;
    void ClearTransfers();
    UartConfig Config() const;
    // Interfaces the kernel driver is bound to now.
    std::set<int> DriverBound() const;

    // umockdev's ioctl handler; false for a request usbdevfs does not have.
    bool HandleIoctl(UMockdevIoctlClient *client);
    void ClientVanished(UMockdevIoctlClient *client);

  private:
    struct PendingUrb {
        UMockdevIoctlClient *client;
        usbdevfs_urb *urb;
    };

    int SubmitLocked(UMockdevIoctlClient *client, usbdevfs_urb *urb);
    int ReapLocked(UMockdevIoctlClient *client, usbdevfs_urb **reaped);
    int DiscardLocked(UMockdevIoctlClient *client, usbdevfs_urb *urb);
    // A control transfer's outcome: bytes returned (IN), 0 (OUT) or -EPIPE for a stall.
    int ControlLocked(const uint8_t *setup, uint8_t *data);
    int GetReportLocked(uint8_t id, int interfaceNumber, uint8_t *data, int length);
    int SetReportLocked(int interfaceNumber, const uint8_t *report, int length);
    int SystemSettingLocked(const uint8_t *report, int length);
    int UartDataLocked(int interfaceNumber, const uint8_t *report, int length);
    bool FillInputLocked(usbdevfs_urb *urb);
    int EndpointInterface(uint8_t endpoint) const;
    bool IsUartInterface(int interfaceNumber) const;
    void Record(std::string what, int where, std::vector<uint8_t> bytes, bool refused);
    void FormatChangedLocked();
    void HostRequestLocked(bool dataWrite);

    const Placement m_placement;
    SimulatedUartLine *const m_line;
    mutable std::mutex m_mutex;

    bool m_gone = false;
    bool m_heldElsewhere = false;
    bool m_powerSaving = false;
    UartConfig m_config{FT260_UART_XON_XOFF, 9600, 8, 0, 0, 0};
    uint8_t m_gpioA = 0;
    std::set<int> m_driverBound;
    std::map<int, UMockdevIoctlClient *> m_claims;
    std::deque<PendingUrb> m_inFlight;
    std::deque<PendingUrb> m_completed;
    qint64 m_lastInputFrameMicros = 0;
    qint64 m_lastRequestMicros;
    int m_dropReceived = 0;
    std::vector<Transfer> m_transfers;
};
