#pragma once

#include "Ft260Device.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class Clock;
class HidTransport;

// The LibFT260 calls over the FT260's HID reports. Opening reads the chip's system status: a chip
// strapped for I2C only has no UART, and its open fails with FT260_INCORRECT_CHIP_MODE. Every open
// handle owns a reader thread that drains the bridge's input reports into an unbounded host queue,
// because the chip reports received bytes unasked and hidapi keeps only a few dozen reports before it
// drops the oldest. Queue status and read serve from that queue. Once the reader sees the device go
// away, every call on the handle except Close fails with FT260_IO_ERROR.
//
// The clock (the program's own) times the power-saving wake-up: a write that follows kWakeAfterMicros of silence on a
// bridge with power saving on is preceded by a chip-version request, which wakes the chip before the
// instrument's answer comes back.
class HidFt260Device : public Ft260Device {
  public:
    static constexpr long long kWakeAfterMicros = 4'000'000;

    HidFt260Device(HidTransport &transport, Clock &clock);
    ~HidFt260Device() override; // closes every handle still open
    HidFt260Device(const HidFt260Device &) = delete;
    HidFt260Device &operator=(const HidFt260Device &) = delete;

    FT260_STATUS OpenByDevicePath(const QString &devicePath, FT260_HANDLE *handle) override;
    FT260_STATUS UartInit(FT260_HANDLE handle) override;
    FT260_STATUS SelectGpioAFunction(FT260_HANDLE handle, uint8_t function) override;
    FT260_STATUS UartGetConfig(FT260_HANDLE handle, UartConfig *config) override;
    FT260_STATUS UartSetBaudRate(FT260_HANDLE handle, uint32_t baudRate) override;
    FT260_STATUS UartSetFlowControl(FT260_HANDLE handle, uint8_t flowControl) override;
    FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE handle, uint8_t dataBits, uint8_t stopBits,
                                            uint8_t parity) override;
    FT260_STATUS UartGetQueueStatus(FT260_HANDLE handle, uint32_t *bytesWaiting) override;
    FT260_STATUS UartRead(FT260_HANDLE handle, uint8_t *buffer, uint32_t bufferLength, uint32_t bytesToRead,
                          uint32_t *bytesRead) override;
    FT260_STATUS UartWrite(FT260_HANDLE handle, const uint8_t *buffer, uint32_t bufferLength, uint32_t bytesToWrite,
                           uint32_t *bytesWritten) override;
    FT260_STATUS UartReset(FT260_HANDLE handle) override;
    FT260_STATUS Close(FT260_HANDLE handle) override;
    // Each reader thread notifies the waker when it queues bytes and when it finds the device gone.
    void SetInputWaker(Waker *waker) override;

  private:
    class OpenBridge;

    std::shared_ptr<OpenBridge> Find(FT260_HANDLE handle) const;

    HidTransport &m_transport;
    Clock &m_clock;
    mutable std::mutex m_handlesMutex;
    std::map<FT260_HANDLE, std::shared_ptr<OpenBridge>> m_handles;
    // Shared with every reader thread; it outlives them all.
    std::shared_ptr<std::atomic<Waker *>> m_waker = std::make_shared<std::atomic<Waker *>>(nullptr);
};
