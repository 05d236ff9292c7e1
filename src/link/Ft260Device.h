#pragma once

#include <QString>

#include <cstdint>

class Waker;

// The FT260 USB-to-UART bridge as FTDI's LibFT260 presents it: the twelve calls the link makes, with
// LibFT260's status convention (FT260_OK = 0, anything else a failure), and what the link needs to wait
// for input without polling. Two implementations: the real bridge over hidapi (link/hid) and the
// simulated one (sim).

using FT260_HANDLE = void *;

enum FT260_STATUS : int {
    FT260_OK = 0,
    FT260_INVALID_HANDLE,
    FT260_DEVICE_NOT_FOUND,
    FT260_DEVICE_NOT_OPENED,
    FT260_DEVICE_OPEN_FAIL,
    FT260_DEVICE_CLOSE_FAIL,
    FT260_INCORRECT_INTERFACE,
    FT260_INCORRECT_CHIP_MODE,
    FT260_DEVICE_MANAGER_ERROR,
    FT260_IO_ERROR,
    FT260_INVALID_PARAMETER,
    FT260_NULL_BUFFER_POINTER,
    FT260_BUFFER_SIZE_ERROR,
    FT260_UART_SET_FAIL,
    FT260_RX_NO_DATA,
    FT260_OTHER_ERROR,
};

// Flow-control modes of FT260_UART_SetFlowControl and of the configuration record.
enum : uint8_t {
    FT260_UART_XON_XOFF_OFF = 0,
    FT260_UART_RTS_CTS = 1,
    FT260_UART_DTR_DSR = 2,
    FT260_UART_XON_XOFF = 3,
    FT260_UART_NO_FLOW_CTRL = 4,
};

// GPIO-A function 3: TX_ACTIVE.
constexpr uint8_t FT260_GPIOA_TX_ACTIVE = 3;

// UART configuration record of FT260_UART_GetConfig.
struct UartConfig {
    uint8_t flowCtrl = 0;
    uint32_t baudRate = 0;
    uint8_t dataBits = 0;
    uint8_t parity = 0;   // 0 none
    uint8_t stopBits = 0; // 0 one stop bit, 2 two
    uint8_t breaking = 0;
};

class Ft260Device {
  public:
    virtual ~Ft260Device() = default;

    virtual FT260_STATUS OpenByDevicePath(const QString &devicePath, FT260_HANDLE *handle) = 0;
    virtual FT260_STATUS UartInit(FT260_HANDLE handle) = 0;
    virtual FT260_STATUS SelectGpioAFunction(FT260_HANDLE handle, uint8_t function) = 0;
    virtual FT260_STATUS UartGetConfig(FT260_HANDLE handle, UartConfig *config) = 0;
    virtual FT260_STATUS UartSetBaudRate(FT260_HANDLE handle, uint32_t baudRate) = 0;
    virtual FT260_STATUS UartSetFlowControl(FT260_HANDLE handle, uint8_t flowControl) = 0;
    virtual FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE handle, uint8_t dataBits, uint8_t stopBits,
                                                    uint8_t parity) = 0;
    virtual FT260_STATUS UartGetQueueStatus(FT260_HANDLE handle, uint32_t *bytesWaiting) = 0;
    virtual FT260_STATUS UartRead(FT260_HANDLE handle, uint8_t *buffer, uint32_t bufferLength, uint32_t bytesToRead,
                                  uint32_t *bytesRead) = 0;
    virtual FT260_STATUS UartWrite(FT260_HANDLE handle, const uint8_t *buffer, uint32_t bufferLength,
                                   uint32_t bytesToWrite, uint32_t *bytesWritten) = 0;
    virtual FT260_STATUS UartReset(FT260_HANDLE handle) = 0;
    virtual FT260_STATUS Close(FT260_HANDLE handle) = 0;

    // Waiting for input. The device notifies the waker, from whatever thread sees it, when bytes arrive
    // for the host and when the bridge goes away; null detaches it. The link that waits sets it.
    virtual void SetInputWaker(Waker *waker) { (void)waker; }
    // The monotonic moment (Clock::MonotonicMicros) by which `bytes` more bytes will have arrived on the
    // handle, or of the next event on the line before that, when the device knows it ahead (the simulated
    // line does); -1 when it does not. A waiting link sleeps until then instead of until its deadline.
    virtual qint64 NextInputMicros(FT260_HANDLE handle, uint32_t bytes)
    {
        (void)handle;
        (void)bytes;
        return -1;
    }
};
