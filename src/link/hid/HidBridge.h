#pragma once

#include "DeviceDiscovery.h"
#include "Ft260Device.h"

#include <QString>

#include <memory>

// The real FT260 bridge on this machine, reached through hidapi's libusb backend. The program and the
// command-line tool create the bridge here and hand it to CFt260; nothing else of link/hid is public.

class Clock;

// The LibFT260 calls over the bridge's HID reports, timed on the program's clock. Each handle it opens
// runs its own reader thread.
std::unique_ptr<Ft260Device> MakeHidFt260Device(Clock &clock);

// The UART interfaces of every FT260 bridge on the USB bus (0403:6030), in enumeration order.
std::unique_ptr<DeviceDiscovery> MakeHidDiscovery();

// A sentence in Korean for the operator after "장비 열기 실패 (-1100)": that the bridge last opened is
// strapped for I2C only and has no UART, or how to give this user access to the bridge (install the
// udev rule, reload udev, replug) when one is on the bus that this user may not open, or that another
// program holds the bridge (close it, replug). Empty otherwise,
// so a caller can print it whenever it is non-empty.
QString HidOpenFailureAdvice();
