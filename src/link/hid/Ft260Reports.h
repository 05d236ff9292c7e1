#pragma once

#include <cstdint>

// The FT260's HID reports as the bridge uses them.
namespace ft260 {

// Feature reports.
constexpr uint8_t kChipVersion = 0xA0;   // get: 13 bytes with the ID
constexpr uint8_t kSystemSetting = 0xA1; // set: request byte + parameters; get: 25 bytes of status
constexpr uint8_t kUartConfig = 0xE0;    // get: 10 bytes (flow, baud LE at 2..5, data, parity, stop, break)

constexpr int kChipVersionLength = 13;
constexpr int kSystemStatusLength = 25;
constexpr int kUartConfigLength = 10;

// Positions in the system status.
constexpr int kStatusChipMode = 1; // the DCNF0/DCNF1 straps: 0 and 3 I2C and UART, 1 I2C only, 2 UART only
constexpr int kStatusUartMode = 6;
constexpr int kStatusPowerSaving = 14;

// The chip mode of a bridge strapped for I2C only: it has no UART.
constexpr uint8_t kChipModeI2cOnly = 1;

// Requests of the system-setting report.
constexpr uint8_t kSetUartMode = 0x03; // flow control: 0 off .. 4 none
constexpr uint8_t kSelectGpioA = 0x08;
constexpr uint8_t kUartReset = 0x40;
constexpr uint8_t kConfigureUart = 0x41; // flow, baud (32-bit LE), data bits, parity, stop bits, break
constexpr uint8_t kSetBaudRate = 0x42;
constexpr uint8_t kSetDataBits = 0x43;
constexpr uint8_t kSetParity = 0x44;
constexpr uint8_t kSetStopBits = 0x45;

// Input reports.
constexpr uint8_t kInterruptStatus = 0xB1; // UART status, never data
constexpr uint8_t kUartDataFirst = 0xF0;   // 0xF0 + (n - 1) / 4 carries n data bytes
constexpr uint8_t kUartDataLast = 0xFE;
constexpr int kMaxDataPerReport = 60;
constexpr int kMaxReportLength = 64;

constexpr uint8_t DataReportId(int count)
{
    return static_cast<uint8_t>(kUartDataFirst + (count - 1) / 4);
}

} // namespace ft260
