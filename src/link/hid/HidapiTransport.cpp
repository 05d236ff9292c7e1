#include "HidapiTransport.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <hidapi.h>

#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace {

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
    int ReadTimeout(uint8_t *buffer, size_t length, int timeoutMs) override
    {
        return hid_read_timeout(m_device, buffer, length, timeoutMs);
    }

  private:
    hid_device *m_device;
};

// The interfaces of one USB device share the part of the path before the last ':'.
std::string DeviceKeyOf(const std::string &path)
{
    const size_t colon = path.rfind(':');
    return colon == std::string::npos ? path : path.substr(0, colon);
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
    hid_device_info *list = hid_enumerate(vendorId, productId);
    for (const hid_device_info *info = list; info; info = info->next) {
        if (!info->path)
            continue;
        entries.push_back(
            {info->path, info->vendor_id, info->product_id, info->interface_number, DeviceKeyOf(info->path)});
    }
    hid_free_enumeration(list);
    return entries;
}

std::unique_ptr<HidConnection> HidapiTransport::Open(const std::string &path)
{
    hid_device *device = hid_open_path(path.c_str());
    if (!device)
        return nullptr;
    return std::make_unique<HidapiConnection>(device);
}

bool HidapiTransport::MayOpen(const std::string &path)
{
    const std::string node = UsbDeviceNode(path);
    if (node.empty() || access(node.c_str(), R_OK | W_OK) == 0)
        return true;
    return errno != EACCES && errno != EPERM;
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
