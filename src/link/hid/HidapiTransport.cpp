#include "HidapiTransport.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <hidapi.h>
#include <libusb.h>

#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace {

// hidapi's libusb backend queues at most this many input reports and silently drops the oldest when
// another one comes.
constexpr int kHidapiQueuedReports = 32;

class HidapiConnection final : public HidConnection {
  public:
    explicit HidapiConnection(hid_device *device) : m_device(device) {}
    ~HidapiConnection() override { hid_close(m_device); }
    HidapiConnection(const HidapiConnection &) = delete;
    HidapiConnection &operator=(const HidapiConnection &) = delete;

    int Write(const uint8_t *report, size_t length) override { return hid_write(m_device, report, length); }
    int SendFeature(const uint8_t *report, size_t length) override
    {
        return hid_send_feature_report(m_device, report, length);
    }
    int GetFeature(uint8_t *buffer, size_t length) override { return hid_get_feature_report(m_device, buffer, length); }
    // A reader that finds hidapi's queue full (as many reports waiting in a row as it holds) may have
    // lost reports to it: the byte stream has a hole nobody would see. The connection then fails as if
    // the bridge had gone, so that the exchange or download in progress fails instead of ending whole
    // with bytes missing. A report that comes during the wait is not counted as waiting.
    int ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs) override
    {
        const int queued = hid_read_timeout(m_device, buffer, length, 0);
        if (queued > 0)
            return ++m_waitingInARow >= kHidapiQueuedReports ? -1 : queued;
        m_waitingInARow = 0;
        if (queued < 0 || timeoutMs == 0)
            return queued;
        return hid_read_timeout(m_device, buffer, length, timeoutMs);
    }

  private:
    hid_device *m_device;
    int m_waitingInARow = 0; // the reader thread's own
};

// One libusb context for the process's enumerations, made on first use and kept.
libusb_context *UsbContext()
{
    static libusb_context *context = [] {
        libusb_context *made = nullptr;
        return libusb_init(&made) == 0 ? made : nullptr;
    }();
    return context;
}

// The HID interfaces of one device's active configuration; reading descriptors opens nothing.
void AddHidInterfaces(libusb_device *device, const libusb_device_descriptor &descriptor,
                      std::vector<HidDeviceEntry> &entries)
{
    uint8_t portNumbers[8];
    const int portCount = libusb_get_port_numbers(device, portNumbers, sizeof portNumbers);
    libusb_config_descriptor *config = nullptr;
    if (portCount <= 0 || libusb_get_active_config_descriptor(device, &config) != 0)
        return;
    const std::vector<int> ports(portNumbers, portNumbers + portCount);
    const int bus = libusb_get_bus_number(device);
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface &interface = config->interface[i];
        for (int k = 0; k < interface.num_altsetting; ++k) {
            const libusb_interface_descriptor &setting = interface.altsetting[k];
            if (setting.bInterfaceClass != LIBUSB_CLASS_HID)
                continue;
            const std::string path =
                HidapiTransport::InterfacePath(bus, ports, config->bConfigurationValue, setting.bInterfaceNumber);
            entries.push_back({path, descriptor.idVendor, descriptor.idProduct, setting.bInterfaceNumber,
                               path.substr(0, path.rfind(':'))});
            break; // one entry per interface, whatever its alternate settings
        }
    }
    libusb_free_config_descriptor(config);
}

// An interface that no kernel driver has (usbdevfs names the claim of another program "usbfs", which
// libusb does not count as a kernel driver) and that still cannot be claimed belongs to another program.
// hidapi cannot say why an open failed, so the interface is tried once more here.
bool InterfaceHeldElsewhere(const std::string &path)
{
    libusb_context *context = UsbContext();
    libusb_device **devices = nullptr;
    if (!context || libusb_get_device_list(context, &devices) < 0)
        return false;
    bool held = false;
    for (libusb_device **device = devices; *device; ++device) {
        libusb_config_descriptor *config = nullptr;
        uint8_t portNumbers[8];
        const int portCount = libusb_get_port_numbers(*device, portNumbers, sizeof portNumbers);
        if (portCount <= 0 || libusb_get_active_config_descriptor(*device, &config) != 0)
            continue;
        const std::vector<int> ports(portNumbers, portNumbers + portCount);
        const int bus = libusb_get_bus_number(*device);
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const int number = config->interface[i].altsetting[0].bInterfaceNumber;
            if (HidapiTransport::InterfacePath(bus, ports, config->bConfigurationValue, number) != path)
                continue;
            libusb_device_handle *handle = nullptr;
            if (libusb_open(*device, &handle) == 0) {
                if (libusb_kernel_driver_active(handle, number) == 0) {
                    const int claim = libusb_claim_interface(handle, number);
                    held = claim == LIBUSB_ERROR_BUSY;
                    if (claim == 0)
                        libusb_release_interface(handle, number);
                }
                libusb_close(handle);
            }
        }
        libusb_free_config_descriptor(config);
    }
    libusb_free_device_list(devices, 1);
    return held;
}

int ReadSysfsNumber(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = f.readAll().trimmed().toInt(&ok);
    return ok ? value : -1;
}

} // namespace

HidapiTransport::HidapiTransport()
{
    // hidapi wants one initialisation before handles may be opened from more than one thread.
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

std::vector<HidDeviceEntry> HidapiTransport::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceEntry> entries;
    libusb_context *context = UsbContext();
    libusb_device **devices = nullptr;
    if (!context || libusb_get_device_list(context, &devices) < 0)
        return entries;
    for (libusb_device **device = devices; *device; ++device) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(*device, &descriptor) == 0 && descriptor.idVendor == vendorId &&
            descriptor.idProduct == productId)
            AddHidInterfaces(*device, descriptor, entries);
    }
    libusb_free_device_list(devices, 1);
    return entries;
}

std::unique_ptr<HidConnection> HidapiTransport::Open(const std::string &path)
{
    hid_device *device = hid_open_path(path.c_str());
    if (!device)
        return nullptr;
    return std::make_unique<HidapiConnection>(device);
}

HidAccess HidapiTransport::Access(const std::string &path)
{
    const std::string node = UsbDeviceNode(path);
    if (!node.empty() && access(node.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return HidAccess::Denied;
    return InterfaceHeldElsewhere(path) ? HidAccess::HeldElsewhere : HidAccess::Allowed;
}

std::string HidapiTransport::InterfacePath(int bus, const std::vector<int> &ports, int configuration,
                                           int interfaceNumber)
{
    std::string path = std::to_string(bus);
    for (size_t i = 0; i < ports.size(); ++i)
        path += (i == 0 ? '-' : '.') + std::to_string(ports[i]);
    return path + ':' + std::to_string(configuration) + '.' + std::to_string(interfaceNumber);
}

std::string HidapiTransport::UsbDeviceNode(const std::string &path, const std::string &sysfsRoot)
{
    const QString p = QString::fromStdString(path);
    int bus = -1;
    int address = -1;
    // Current hidapi: "<bus>-<port>[.<port>...]:<configuration>.<interface>", named as in sysfs.
    static const QRegularExpression portPath(QStringLiteral("^((\\d+)-[\\d.]+):\\d+\\.\\d+$"));
    // Older hidapi: "<bus>:<address>:<interface>" in hexadecimal.
    static const QRegularExpression addressPath(QStringLiteral("^([0-9a-fA-F]{4}):([0-9a-fA-F]{4}):[0-9a-fA-F]{2}$"));
    if (const QRegularExpressionMatch m = portPath.match(p); m.hasMatch()) {
        const QString device = QString::fromStdString(sysfsRoot) + QLatin1Char('/') + m.captured(1);
        bus = ReadSysfsNumber(device + QStringLiteral("/busnum"));
        address = ReadSysfsNumber(device + QStringLiteral("/devnum"));
    } else if (const QRegularExpressionMatch m = addressPath.match(p); m.hasMatch()) {
        bus = m.captured(1).toInt(nullptr, 16);
        address = m.captured(2).toInt(nullptr, 16);
    }
    if (bus < 0 || address < 0)
        return std::string();
    return QStringLiteral("/dev/bus/usb/%1/%2")
        .arg(bus, 3, 10, QLatin1Char('0'))
        .arg(address, 3, 10, QLatin1Char('0'))
        .toStdString();
}
