// umockdev's GLib headers come before Qt's, whose "signals" keyword they would trip over.
#include <umockdev.h>

#include "Ft260UsbModel.h"

#include "SimulatedUartLine.h"

#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr uint16_t kVendorId = 0x0403;
constexpr uint16_t kProductId = 0x6030;
constexpr uint16_t kDeviceRelease = 0x0200;
constexpr int kMaxPacket = 64;
// Full-speed interrupt endpoints polled every frame.
constexpr qint64 kFrameMicros = 1000;
constexpr int kMaxUartData = 60;
constexpr auto kIdleReapPause = std::chrono::microseconds(200);
constexpr uint32_t kMinBaud = 1200;
constexpr uint32_t kMaxBaud = 12'000'000;

constexpr uint8_t kChipVersion = 0xA0;
constexpr uint8_t kSystemSetting = 0xA1;
constexpr uint8_t kUartStatus = 0xE0;
constexpr uint8_t kUartDataFirst = 0xF0;
constexpr uint8_t kUartDataLast = 0xFE;

constexpr uint8_t kHidGetReport = 0x01;
constexpr uint8_t kHidSetReport = 0x09;
constexpr uint8_t kHidSetIdle = 0x0A;
constexpr uint8_t kFeatureReport = 3;
constexpr uint8_t kReportDescriptorType = 0x22;
constexpr uint8_t kHidDescriptorType = 0x21;

qint64 BusMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

uint32_t Le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendLe16(std::vector<uint8_t> &out, int value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// The vendor-defined report descriptor of one interface: its feature, input and output reports by ID and
// size. The UART interface has the UART reports; the I2C interface the I2C ones; both the system reports.
std::vector<uint8_t> ReportDescriptor(bool uart)
{
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00};
    const auto report = [&](uint8_t id, int bytes, uint8_t kind) { // kind: 0x81 input, 0x91 output, 0xB1 feature
        d.insert(d.end(), {0x85, id, 0x95, static_cast<uint8_t>(bytes), 0x09, 0x01, kind, 0x02});
    };
    report(kChipVersion, 12, 0xB1);
    report(kSystemSetting, 24, 0xB1);
    report(0xB1, 4, 0x81); // interrupt status
    if (uart) {
        report(kUartStatus, 9, 0xB1);
        for (uint8_t id = kUartDataFirst; id <= kUartDataLast; ++id) {
            report(id, 1 + 4 * (id - kUartDataFirst + 1), 0x81);
            report(id, 1 + 4 * (id - kUartDataFirst + 1), 0x91);
        }
    } else {
        report(0xC0, 4, 0xB1); // I2C status
        for (uint8_t id = 0xD0; id <= 0xDE; ++id) {
            report(id, 3 + 4 * (id - 0xD0 + 1), 0x81);
            report(id, 3 + 4 * (id - 0xD0 + 1), 0x91);
        }
    }
    d.push_back(0xC0);
    return d;
}

std::string Hex(const std::vector<uint8_t> &bytes)
{
    std::string text;
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

} // namespace

Ft260UsbModel::Ft260UsbModel(Placement placement, SimulatedUartLine *line)
    : m_placement(std::move(placement)), m_line(line), m_lastRequestMicros(BusMicros())
{
    for (int i = 0; i < InterfaceCount(); ++i)
        m_driverBound.insert(i);
    FormatChangedLocked();
}

std::string Ft260UsbModel::SysName() const
{
    std::string name = std::to_string(m_placement.bus);
    for (size_t i = 0; i < m_placement.ports.size(); ++i)
        name += (i == 0 ? '-' : '.') + std::to_string(m_placement.ports[i]);
    return name;
}

std::string Ft260UsbModel::DeviceNode() const
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", m_placement.bus, m_placement.address);
    return node;
}

std::string Ft260UsbModel::SysPath() const
{
    // Every hub on the way has its own directory, as in the kernel's tree.
    std::string path = "/devices/usb" + std::to_string(m_placement.bus);
    std::string hub = std::to_string(m_placement.bus);
    for (size_t i = 0; i < m_placement.ports.size(); ++i) {
        hub += (i == 0 ? '-' : '.') + std::to_string(m_placement.ports[i]);
        path += '/' + hub;
    }
    return path;
}

int Ft260UsbModel::InterfaceCount() const
{
    return m_placement.chipMode == kModeBoth || m_placement.chipMode == 0 ? 2 : 1;
}

bool Ft260UsbModel::IsUartInterface(int interfaceNumber) const
{
    if (m_placement.chipMode == kModeI2cOnly)
        return false;
    return InterfaceCount() == 1 ? interfaceNumber == 0 : interfaceNumber == 1;
}

// Interface n has interrupt endpoints IN 0x81 + n and OUT 0x01 + n.
int Ft260UsbModel::EndpointInterface(uint8_t endpoint) const
{
    const int n = (endpoint & 0x0F) - 1;
    return n >= 0 && n < InterfaceCount() ? n : -1;
}

std::string Ft260UsbModel::SysfsRecord() const
{
    // Device descriptor, then the configuration with each interface's HID and endpoint descriptors.
    std::vector<uint8_t> d = {18, USB_DT_DEVICE, 0x00, 0x02, 0, 0, 0, kMaxPacket};
    AppendLe16(d, kVendorId);
    AppendLe16(d, kProductId);
    AppendLe16(d, kDeviceRelease);
    d.insert(d.end(), {1, 2, 3, 1});
    std::vector<uint8_t> config;
    for (int i = 0; i < InterfaceCount(); ++i) {
        config.insert(config.end(), {9, USB_DT_INTERFACE, static_cast<uint8_t>(i), 0, 2, USB_CLASS_HID, 0, 0, 0});
        config.insert(config.end(), {9, kHidDescriptorType, 0x11, 0x01, 0, 1, kReportDescriptorType});
        AppendLe16(config, static_cast<int>(ReportDescriptor(IsUartInterface(i)).size()));
        config.insert(config.end(),
                      {7, USB_DT_ENDPOINT, static_cast<uint8_t>(0x81 + i), USB_ENDPOINT_XFER_INT, kMaxPacket, 0, 1});
        config.insert(config.end(),
                      {7, USB_DT_ENDPOINT, static_cast<uint8_t>(0x01 + i), USB_ENDPOINT_XFER_INT, kMaxPacket, 0, 1});
    }
    d.insert(d.end(), {9, USB_DT_CONFIG});
    AppendLe16(d, 9 + static_cast<int>(config.size()));
    // Bus powered with remote wake-up, 100 mA.
    d.insert(d.end(), {static_cast<uint8_t>(InterfaceCount()), 1, 0, 0xA0, 50});
    d.insert(d.end(), config.begin(), config.end());

    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "E: BUSNUM=%03d\nE: DEVNUM=%03d\nA: busnum=%d\\n\nA: devnum=%d\\n\n",
                  m_placement.bus, m_placement.address, m_placement.bus, m_placement.address);
    std::string record = "P: " + SysPath() + "\nN: " + DeviceNode().substr(5) +
                         "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: DEVNAME=" + DeviceNode() +
                         "\nE: PRODUCT=403/6030/200\n" + numbers +
                         "A: idVendor=0403\\n\nA: idProduct=6030\\n\nA: bConfigurationValue=1\\n\n"
                         "A: bNumInterfaces= " +
                         std::to_string(InterfaceCount()) + "\\n\nA: speed=12\\n\nA: manufacturer=FTDI\\n\n" +
                         "A: product=FT260\\n\nA: serial=" + m_placement.serial + "\\n\nH: descriptors=" + Hex(d) +
                         "\n\n";
    for (int i = 0; i < InterfaceCount(); ++i) {
        const std::string name = SysName() + ":1." + std::to_string(i);
        record += "P: " + SysPath() + '/' + name +
                  "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\nA: bInterfaceNumber=0" +
                  std::to_string(i) + "\\n\nA: bInterfaceClass=03\\n\nA: bNumEndpoints=02\\n\n\n";
    }
    return record;
}

void Ft260UsbModel::SetHeldElsewhere(bool held)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_heldElsewhere = held;
    for (int i = 0; i < InterfaceCount(); ++i) {
        if (held && IsUartInterface(i))
            m_driverBound.erase(i);
    }
}

void Ft260UsbModel::SetPowerSaving(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_powerSaving = on;
}

void Ft260UsbModel::Unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_gone = true;
    for (PendingUrb &pending : m_inFlight) {
        pending.urb->status = -ENODEV;
        pending.urb->actual_length = 0;
        m_completed.push_back(pending);
    }
    m_inFlight.clear();
    if (m_line)
        m_line->Unplug();
}

std::vector<Ft260UsbModel::Transfer> Ft260UsbModel::Transfers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transfers;
}

void Ft260UsbModel::ClearTransfers()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transfers.clear();
}

UartConfig Ft260UsbModel::Config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

std::set<int> Ft260UsbModel::DriverBound() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_driverBound;
}

void Ft260UsbModel::Record(std::string what, int where, std::vector<uint8_t> bytes, bool refused)
{
    m_transfers.push_back({std::move(what), where, std::move(bytes), refused});
}

bool Ft260UsbModel::HandleIoctl(UMockdevIoctlClient *client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    // The test bed runs in this very process: the argument is a pointer into the caller's memory, which
    // stays still while the caller waits for the answer.
    void *pointer = nullptr;
    std::memcpy(&pointer, arg->data, sizeof pointer);

    std::unique_lock<std::mutex> lock(m_mutex);
    int result = 0;
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
        *static_cast<uint32_t *>(pointer) = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                            USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        break;
    case USBDEVFS_GETDRIVER: {
        auto *query = static_cast<usbdevfs_getdriver *>(pointer);
        const int n = static_cast<int>(query->interface);
        Record("GETDRIVER", n, {}, false);
        if (m_gone)
            result = -ENODEV;
        else if (m_driverBound.count(n))
            std::strcpy(query->driver, "usbhid");
        else if (m_heldElsewhere && IsUartInterface(n))
            std::strcpy(query->driver, "usbfs");
        else if (m_claims.count(n))
            std::strcpy(query->driver, "usbfs");
        else
            result = -ENODATA;
        break;
    }
    case USBDEVFS_IOCTL: {
        auto *command = static_cast<usbdevfs_ioctl *>(pointer);
        const bool detach = command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT);
        const bool attach = command->ioctl_code == static_cast<int>(USBDEVFS_CONNECT);
        Record(detach ? "DISCONNECT" : attach ? "CONNECT" : "IOCTL", command->ifno, {}, false);
        if (m_gone)
            result = -ENODEV;
        else if (command->ifno < 0 || command->ifno >= InterfaceCount())
            result = -EINVAL;
        else if (detach)
            result = m_driverBound.erase(command->ifno) ? 0 : -ENODATA;
        else if (attach)
            result = m_claims.count(command->ifno) ? -EBUSY : (m_driverBound.insert(command->ifno), 0);
        else
            result = -ENOTTY;
        break;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
        const int n = static_cast<int>(*static_cast<unsigned int *>(pointer));
        const bool claim = request == USBDEVFS_CLAIMINTERFACE;
        const auto holder = m_claims.find(n);
        if (m_gone)
            result = -ENODEV;
        else if (n < 0 || n >= InterfaceCount())
            result = -ENOENT;
        else if (claim && (m_driverBound.count(n) || (m_heldElsewhere && IsUartInterface(n)) ||
                           (holder != m_claims.end() && holder->second != client)))
            result = -EBUSY;
        else if (claim)
            m_claims[n] = client;
        else if (holder == m_claims.end() || holder->second != client)
            result = -EINVAL;
        else
            m_claims.erase(holder);
        Record(claim ? "CLAIM" : "RELEASE", n, {}, result != 0);
        break;
    }
    case USBDEVFS_SUBMITURB: result = SubmitLocked(client, static_cast<usbdevfs_urb *>(pointer)); break;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: result = ReapLocked(client, static_cast<usbdevfs_urb **>(pointer)); break;
    case USBDEVFS_DISCARDURB: result = DiscardLocked(client, static_cast<usbdevfs_urb *>(pointer)); break;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET: result = m_gone ? -ENODEV : 0; break;
    default: std::fprintf(stderr, "FT260 model: ioctl 0x%lx not handled\n", request); return false;
    }
    lock.unlock();
    // umockdev's node is a socket that poll always finds writable, so libusb asks again at once when
    // nothing is done; a short pause keeps that loop from eating the processor the host's threads need.
    if (result == -EAGAIN)
        std::this_thread::sleep_for(kIdleReapPause);
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : 0, result < 0 ? -result : 0);
    return true;
}

void Ft260UsbModel::ClientVanished(UMockdevIoctlClient *client)
{
    // Closing the device node releases what the handle held and cancels its URBs, as usbdevfs does.
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_claims.begin(); it != m_claims.end();)
        it = it->second == client ? m_claims.erase(it) : std::next(it);
    const auto ofClient = [&](const PendingUrb &p) { return p.client == client; };
    m_inFlight.erase(std::remove_if(m_inFlight.begin(), m_inFlight.end(), ofClient), m_inFlight.end());
    m_completed.erase(std::remove_if(m_completed.begin(), m_completed.end(), ofClient), m_completed.end());
}

int Ft260UsbModel::SubmitLocked(UMockdevIoctlClient *client, usbdevfs_urb *urb)
{
    if (m_gone)
        return -ENODEV;
    urb->status = 0;
    urb->actual_length = 0;
    auto *buffer = static_cast<uint8_t *>(urb->buffer);
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (urb->buffer_length < 8)
            return -EINVAL;
        const int interfaceNumber = buffer[4];
        const bool toInterface = (buffer[0] & USB_RECIP_MASK) == USB_RECIP_INTERFACE;
        // usbdevfs lets a handle address only an interface it holds.
        if (toInterface) {
            const auto holder = m_claims.find(interfaceNumber);
            if (interfaceNumber >= InterfaceCount())
                return -ENOENT;
            if (holder == m_claims.end() || holder->second != client)
                return -EBUSY;
        }
        HostRequestLocked(false);
        const int outcome = ControlLocked(buffer, buffer + 8);
        if (outcome < 0)
            urb->status = outcome;
        else
            urb->actual_length = outcome;
        m_completed.push_back({client, urb});
        return 0;
    }
    if (urb->type != USBDEVFS_URB_TYPE_INTERRUPT)
        return -EINVAL;
    const int interfaceNumber = EndpointInterface(urb->endpoint);
    if (interfaceNumber < 0)
        return -ENOENT;
    const auto holder = m_claims.find(interfaceNumber);
    if (holder == m_claims.end() || holder->second != client)
        return -EBUSY;
    if (urb->endpoint & USB_DIR_IN) {
        m_inFlight.push_back({client, urb});
        return 0;
    }
    HostRequestLocked(true);
    const int outcome = UartDataLocked(interfaceNumber, buffer, urb->buffer_length);
    if (outcome < 0)
        urb->status = outcome;
    else
        urb->actual_length = urb->buffer_length;
    m_completed.push_back({client, urb});
    return 0;
}

int Ft260UsbModel::ReapLocked(UMockdevIoctlClient *client, usbdevfs_urb **reaped)
{
    // An IN URB completes when the line has bytes for it and a frame has passed since the last one.
    for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it) {
        if (it->client == client && FillInputLocked(it->urb)) {
            m_completed.push_back(*it);
            m_inFlight.erase(it);
            break;
        }
    }
    const auto done =
        std::find_if(m_completed.begin(), m_completed.end(), [&](const PendingUrb &p) { return p.client == client; });
    if (done == m_completed.end())
        return m_gone ? -ENODEV : -EAGAIN;
    *reaped = done->urb;
    m_completed.erase(done);
    return 0;
}

int Ft260UsbModel::DiscardLocked(UMockdevIoctlClient *client, usbdevfs_urb *urb)
{
    const auto it = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [&](const PendingUrb &p) { return p.client == client && p.urb == urb; });
    Record("DISCARD", urb->endpoint, {}, it == m_inFlight.end());
    if (it == m_inFlight.end())
        return -EINVAL;
    urb->status = -ENOENT;
    m_completed.push_back(*it);
    m_inFlight.erase(it);
    return 0;
}

bool Ft260UsbModel::FillInputLocked(usbdevfs_urb *urb)
{
    if (m_gone || !m_line || !IsUartInterface(EndpointInterface(urb->endpoint)))
        return false;
    const qint64 now = BusMicros();
    if (now - m_lastInputFrameMicros < kFrameMicros || m_line->Available() == 0)
        return false;
    auto *report = static_cast<uint8_t *>(urb->buffer);
    const int room = std::min(kMaxUartData, urb->buffer_length - 2);
    int n = m_line->HostRead(report + 2, room);
    const int lost = std::min(n, m_dropReceived);
    m_dropReceived -= lost;
    n -= lost;
    std::memmove(report + 2, report + 2 + lost, static_cast<size_t>(n));
    if (n <= 0)
        return false;
    // The report ID says the room, 4 bytes a step; the count byte says how much of it is data.
    report[0] = static_cast<uint8_t>(kUartDataFirst + (n - 1) / 4);
    report[1] = static_cast<uint8_t>(n);
    const int length = 2 + 4 * ((n + 3) / 4);
    std::fill(report + 2 + n, report + length, 0);
    urb->actual_length = length;
    m_lastInputFrameMicros = now;
    std::vector<uint8_t> bytes(report, report + length);
    Record("IN", urb->endpoint, std::move(bytes), false);
    return true;
}

int Ft260UsbModel::ControlLocked(const uint8_t *setup, uint8_t *data)
{
    const uint8_t requestType = setup[0];
    const uint8_t request = setup[1];
    const int value = setup[2] | setup[3] << 8;
    const int index = setup[4] | setup[5] << 8;
    const int length = setup[6] | setup[7] << 8;
    const bool in = requestType & USB_DIR_IN;
    const uint8_t type = requestType & USB_TYPE_MASK;

    if (type == USB_TYPE_CLASS && request == kHidGetReport && in && value >> 8 == kFeatureReport)
        return GetReportLocked(static_cast<uint8_t>(value), index, data, length);
    if (type == USB_TYPE_CLASS && request == kHidSetReport && !in && value >> 8 == kFeatureReport) {
        const int outcome = SetReportLocked(index, data, length);
        Record("SET_REPORT", index, std::vector<uint8_t>(data, data + length), outcome < 0);
        return outcome;
    }
    if (type == USB_TYPE_CLASS && request == kHidSetIdle && !in) {
        Record("SET_IDLE", index, {}, false);
        return 0;
    }
    if (type == USB_TYPE_STANDARD && request == USB_REQ_GET_DESCRIPTOR && in &&
        (requestType & USB_RECIP_MASK) == USB_RECIP_INTERFACE && value >> 8 == kReportDescriptorType) {
        const std::vector<uint8_t> descriptor = ReportDescriptor(IsUartInterface(index));
        const int n = std::min<int>(length, static_cast<int>(descriptor.size()));
        std::copy_n(descriptor.begin(), n, data);
        Record("GET_DESCRIPTOR", index, {kReportDescriptorType}, false);
        return n;
    }
    Record("CONTROL", index, std::vector<uint8_t>(setup, setup + 8), true);
    return -EPIPE;
}

int Ft260UsbModel::GetReportLocked(uint8_t id, int interfaceNumber, uint8_t *data, int length)
{
    std::vector<uint8_t> report;
    switch (id) {
    case kChipVersion: report = {kChipVersion, 0x02, 0x60, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}; break;
    case kSystemSetting:
        report.assign(25, 0);
        report[0] = kSystemSetting;
        report[1] = m_placement.chipMode;
        report[2] = 2; // 48 MHz
        report[4] = 1; // ready
        report[5] = m_placement.chipMode != kModeUartOnly;
        report[6] = m_config.flowCtrl;
        report[9] = m_gpioA;
        report[14] = m_powerSaving;
        break;
    case kUartStatus:
        if (!IsUartInterface(interfaceNumber))
            break;
        report = {kUartStatus,
                  m_config.flowCtrl,
                  uint8_t(m_config.baudRate),
                  uint8_t(m_config.baudRate >> 8),
                  uint8_t(m_config.baudRate >> 16),
                  uint8_t(m_config.baudRate >> 24),
                  m_config.dataBits,
                  m_config.parity,
                  m_config.stopBits,
                  m_config.breaking};
        break;
    default: break;
    }
    if (report.empty()) {
        Record("GET_REPORT", interfaceNumber, {id}, true);
        return -EPIPE;
    }
    const int n = std::min<int>(length, static_cast<int>(report.size()));
    std::copy_n(report.begin(), n, data);
    Record("GET_REPORT", interfaceNumber, std::vector<uint8_t>(data, data + n), false);
    return n;
}

int Ft260UsbModel::SetReportLocked(int interfaceNumber, const uint8_t *report, int length)
{
    if (length < 2 || report[0] != kSystemSetting)
        return -EPIPE;
    // The UART requests mean nothing to a chip without a UART, nor on its I2C interface.
    if (report[1] >= 0x40 && report[1] <= 0x4F && !IsUartInterface(interfaceNumber))
        return -EPIPE;
    return SystemSettingLocked(report, length);
}

int Ft260UsbModel::SystemSettingLocked(const uint8_t *report, int length)
{
    const uint8_t *p = report + 2;
    const int parameters = length - 2;
    const auto needs = [&](int n) { return parameters >= n; };
    switch (report[1]) {
    case 0x03: // UART mode: the flow control
        if (!needs(1) || p[0] > FT260_UART_NO_FLOW_CTRL)
            return -EPIPE;
        m_config.flowCtrl = p[0];
        break;
    case 0x08: // GPIO-A function: GPIO, TX_ACTIVE or TX_LED
        if (!needs(1) || (p[0] != 0 && p[0] != 3 && p[0] != 4))
            return -EPIPE;
        m_gpioA = p[0];
        break;
    case 0x40: // UART reset
        if (m_line)
            m_line->ResetHostSide();
        break;
    case 0x41: {
        if (!needs(9))
            return -EPIPE;
        const UartConfig wanted{p[0], Le32(p + 1), p[5], p[6], p[7], p[8]};
        if (wanted.flowCtrl > FT260_UART_NO_FLOW_CTRL || wanted.baudRate < kMinBaud || wanted.baudRate > kMaxBaud ||
            (wanted.dataBits != 7 && wanted.dataBits != 8) || wanted.parity > 4 ||
            (wanted.stopBits != 0 && wanted.stopBits != 2))
            return -EPIPE;
        m_config = wanted;
        FormatChangedLocked();
        break;
    }
    case 0x42:
        if (!needs(4) || Le32(p) < kMinBaud || Le32(p) > kMaxBaud)
            return -EPIPE;
        m_config.baudRate = Le32(p);
        FormatChangedLocked();
        break;
    case 0x43:
        if (!needs(1) || (p[0] != 7 && p[0] != 8))
            return -EPIPE;
        m_config.dataBits = p[0];
        FormatChangedLocked();
        break;
    case 0x44:
        if (!needs(1) || p[0] > 4)
            return -EPIPE;
        m_config.parity = p[0];
        FormatChangedLocked();
        break;
    case 0x45:
        if (!needs(1) || (p[0] != 0 && p[0] != 2))
            return -EPIPE;
        m_config.stopBits = p[0];
        FormatChangedLocked();
        break;
    default: return -EPIPE;
    }
    return length;
}

int Ft260UsbModel::UartDataLocked(int interfaceNumber, const uint8_t *report, int length)
{
    std::vector<uint8_t> bytes(report, report + length);
    const int count = length >= 2 ? report[1] : 0;
    const bool valid = IsUartInterface(interfaceNumber) && length >= 2 && report[0] >= kUartDataFirst &&
                       report[0] <= kUartDataLast && count >= 1 && count <= kMaxUartData &&
                       count <= 4 * (report[0] - kUartDataFirst + 1) && length >= 2 + count;
    Record("OUT", 0x01 + interfaceNumber, std::move(bytes), !valid);
    if (!valid)
        return -EPIPE;
    if (m_line)
        m_line->HostWrite(report + 2, count);
    return length;
}

void Ft260UsbModel::HostRequestLocked(bool dataWrite)
{
    const qint64 now = BusMicros();
    if (m_powerSaving && now - m_lastRequestMicros >= kDozeAfterMicros && dataWrite)
        m_dropReceived = kBytesLostWhenDozing;
    m_lastRequestMicros = now;
}

void Ft260UsbModel::FormatChangedLocked()
{
    if (m_line)
        m_line->SetHostFormat(m_config.baudRate, m_config.dataBits, m_config.stopBits, m_config.parity);
}
