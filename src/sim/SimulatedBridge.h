#pragma once

#include "Ft260Device.h"

#include <QString>
#include <QStringList>

#include <map>
#include <mutex>
#include <vector>

class SimulatedUartLine;

// One call the desktop made on the simulated bridge, for tests that check what the link did.
struct BridgeCall {
    QString name;             // the Ft260Device function, e.g. "UartSetBaudRate"
    std::vector<qint64> args; // its numeric arguments after the handle (counts, not buffers)

    // "UartSetBaudRate(115200)"
    QString ToString() const;
};

// The FT260 bridge as LibFT260 shows it, in front of a SimulatedUartLine. It keeps the UART
// configuration (a fresh bridge runs at 9600 baud until the desktop sets it), hands the line the
// host's format, and records every call. Handles are opaque non-null values; a call with a handle this
// bridge did not give out, or one given out before the bridge was unplugged, fails with
// FT260_INVALID_HANDLE. While unplugged, opening fails with FT260_DEVICE_NOT_FOUND and every other call
// with FT260_IO_ERROR; Close still releases the handle.
class SimulatedBridge : public Ft260Device {
  public:
    static constexpr const char *kDefaultDevicePath = "sim:ft260/0";

    static UartConfig FreshConfig();

    explicit SimulatedBridge(SimulatedUartLine &line, const QString &devicePath = QLatin1String(kDefaultDevicePath),
                             const UartConfig &initial = FreshConfig());

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
    // Waiting for input goes to the line; neither call is recorded among the calls.
    void SetInputWaker(Waker *waker) override;
    qint64 NextInputMicros(FT260_HANDLE handle, uint32_t bytes) override;

    // Presence, passed on to the line.
    void Plug();
    void Unplug();
    bool IsPlugged() const;

    QString DevicePath() const { return m_devicePath; }
    UartConfig Config() const;
    void SetConfig(const UartConfig &config);
    uint8_t GpioAFunction() const;
    int OpenHandleCount() const;

    std::vector<BridgeCall> Calls() const;
    // Just the names, in order: {"OpenByDevicePath", "UartInit", ...}.
    QStringList CallNames() const;
    void ClearCalls();

    SimulatedUartLine &Line() { return m_line; }

  private:
    struct Handle {
        int plugCount;
    };
    // Records the call and checks the handle and presence.
    FT260_STATUS Enter(const char *name, FT260_HANDLE handle, std::vector<qint64> args);
    void ApplyFormatLocked();

    SimulatedUartLine &m_line;
    const QString m_devicePath;
    mutable std::mutex m_mutex;
    UartConfig m_config;
    uint8_t m_gpioA = 0;
    std::vector<BridgeCall> m_calls;
    std::map<FT260_HANDLE, Handle> m_handles;
    quintptr m_nextHandle = 0x7100;
};
