// umockdev's GLib headers come before Qt's, whose "signals" keyword they would trip over.
#include <umockdev.h>

#include "UsbTestBed.h"

#include "Ft260UsbModel.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

constexpr const char *kPreload = "libumockdev-preload.so.0";
constexpr const char *kReexecMark = "TONVALE_USB_TEST_REEXECUTED";

// A hub's sysfs entry: device descriptor (class 9) and a configuration with its one interrupt endpoint.
std::string HubRecord(const std::string &sysPath, int address, uint16_t vendor, uint16_t product)
{
    char record[1024];
    std::snprintf(record, sizeof record,
                  "P: %s\nN: bus/usb/001/%03d\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                  "E: DEVNAME=/dev/bus/usb/001/%03d\nE: BUSNUM=001\nE: DEVNUM=%03d\nA: busnum=1\\n\nA: devnum=%d\\n\n"
                  "A: bConfigurationValue=1\\n\nA: speed=480\\n\n"
                  "H: descriptors=1201000209000140%02x%02x%02x%02x000603020101"
                  "09021900010100e000"
                  "090400000109000000"
                  "0705810304000c\n\n",
                  sysPath.c_str(), address, address, address, address, vendor & 0xFF, vendor >> 8, product & 0xFF,
                  product >> 8);
    return record;
}

std::string LoadedLibrary(const std::string &name)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        const auto slash = line.find('/');
        if (slash != std::string::npos && line.find(name, slash) != std::string::npos)
            return line.substr(slash);
    }
    return std::string();
}

gboolean OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer model)
{
    return static_cast<Ft260UsbModel *>(model)->HandleIoctl(client);
}

void OnClientVanished(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer model)
{
    static_cast<Ft260UsbModel *>(model)->ClientVanished(client);
}

std::mutex g_handlersMutex;
std::map<Ft260UsbModel *, UMockdevIoctlBase *> g_handlers;

} // namespace

void RunInsideUmockdev(int argc, char **argv)
{
    (void)argc;
    if (!LoadedLibrary("libumockdev-preload").empty())
        return;
    if (std::getenv(kReexecMark)) {
        std::fprintf(stderr, "umockdev's preload library did not load; is the umockdev package installed?\n");
        std::exit(1);
    }
    std::string preload = kPreload;
    // AddressSanitizer insists on being the first library loaded.
    if (const std::string asan = LoadedLibrary("/libasan.so"); !asan.empty())
        preload = asan + ':' + preload;
    if (const char *earlier = std::getenv("LD_PRELOAD"); earlier && *earlier)
        preload += std::string(":") + earlier;
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kReexecMark, "1", 1);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    std::exit(1);
}

UsbTestBed &UsbTestBed::Instance()
{
    static UsbTestBed bed;
    return bed;
}

UsbTestBed::UsbTestBed() : m_testbed(umockdev_testbed_new())
{
    Add(HubRecord("/devices/usb1", 1, 0x1d6b, 0x0002), "/devices/usb1");
    Add(HubRecord("/devices/usb1/1-4", 2, 0x05e3, 0x0608), "/devices/usb1/1-4");
}

UsbTestBed::~UsbTestBed()
{
    g_object_unref(m_testbed);
}

void UsbTestBed::Add(const std::string &record, const std::string &sysPath)
{
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error)) {
        const std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev refused a device: " + message);
    }
    umockdev_testbed_uevent(m_testbed, ("/sys" + sysPath).c_str(), "add");
}

int UsbTestBed::NextAddress()
{
    return m_nextAddress++;
}

void UsbTestBed::Plug(Ft260UsbModel &model)
{
    UMockdevIoctlBase *handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(OnIoctl), &model);
    g_signal_connect(handler, "client-vanished", G_CALLBACK(OnClientVanished), &model);
    // The node must answer before the device is announced.
    GError *error = nullptr;
    if (!umockdev_testbed_attach_ioctl(m_testbed, model.DeviceNode().c_str(), handler, &error)) {
        const std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        g_object_unref(handler);
        throw std::runtime_error("umockdev could not attach the device node: " + message);
    }
    {
        std::lock_guard<std::mutex> lock(g_handlersMutex);
        g_handlers[&model] = handler;
    }
    Add(model.SysfsRecord(), model.SysPath());
}

void UsbTestBed::Unplug(Ft260UsbModel &model)
{
    model.Unplug();
    const std::string sysPath = "/sys" + model.SysPath();
    umockdev_testbed_uevent(m_testbed, sysPath.c_str(), "remove");
    // The interfaces first: umockdev drops only the bus links of the entry it is asked to remove.
    for (int i = 0; i < model.InterfaceCount(); ++i) {
        const std::string interfacePath = sysPath + '/' + model.SysName() + ":1." + std::to_string(i);
        umockdev_testbed_remove_device(m_testbed, interfacePath.c_str());
    }
    umockdev_testbed_remove_device(m_testbed, sysPath.c_str());
}

void UsbTestBed::Detach(Ft260UsbModel &model)
{
    UMockdevIoctlBase *handler = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_handlersMutex);
        const auto it = g_handlers.find(&model);
        if (it == g_handlers.end())
            return;
        handler = it->second;
        g_handlers.erase(it);
    }
    umockdev_testbed_detach_ioctl(m_testbed, model.DeviceNode().c_str(), nullptr);
    g_signal_handlers_disconnect_by_data(handler, &model);
    g_object_unref(handler);
}

PluggedBridge::PluggedBridge(Ft260UsbModel &model) : m_model(model)
{
    UsbTestBed::Instance().Plug(model);
}

PluggedBridge::~PluggedBridge()
{
    Unplug();
    UsbTestBed::Instance().Detach(m_model);
}

void PluggedBridge::Unplug()
{
    if (m_plugged)
        UsbTestBed::Instance().Unplug(m_model);
    m_plugged = false;
}
