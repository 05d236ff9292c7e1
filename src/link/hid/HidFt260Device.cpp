#include "HidFt260Device.h"

#include "Clock.h"
#include "Ft260Reports.h"
#include "HidTransport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <thread>

namespace {
// How long one read of the reader thread waits for a report: also how soon it notices a close.
constexpr int kReadTimeoutMs = 10;
// A queue-status call waits for the reader to empty hidapi's queue; this bounds that wait should the
// reader ever be stuck in the USB stack.
constexpr std::chrono::seconds kDrainWaitLimit{1};
// The UART set-up of UartInit: the instrument's 115200 baud 8N1 without flow control.
constexpr uint32_t kInitBaudRate = 115200;
} // namespace

// One opened bridge: its connection, its reader thread and the host queue the reader fills.
class HidFt260Device::OpenBridge {
  public:
    OpenBridge(std::unique_ptr<HidConnection> connection, Clock &clock, std::shared_ptr<std::atomic<Waker *>> waker)
        : m_connection(std::move(connection)), m_clock(clock), m_waker(std::move(waker)),
          m_lastActivityMicros(clock.MonotonicMicros())
    {
    }

    ~OpenBridge()
    {
        m_stop = true;
        if (m_reader.joinable())
            m_reader.join();
    }

    OpenBridge(const OpenBridge &) = delete;
    OpenBridge &operator=(const OpenBridge &) = delete;

    // Reads the system status once, before the reader runs: the chip mode tells whether the chip has a
    // UART at all, and whether it saves power decides whether writes after a silence need a wake-up.
    FT260_STATUS ReadSystemStatus()
    {
        uint8_t status[ft260::kSystemStatusLength] = {ft260::kSystemSetting};
        const FT260_STATUS result = GetFeature(status, sizeof status);
        if (result == FT260_OK) {
            m_chipMode = status[ft260::kStatusChipMode];
            m_powerSaving = status[ft260::kStatusPowerSaving] != 0;
        }
        return result;
    }

    bool HasUart() const { return m_chipMode != ft260::kChipModeI2cOnly; }

    void StartReader()
    {
        m_reader = std::thread([this] { ReaderLoop(); });
    }

    FT260_STATUS SetFeature(std::initializer_list<uint8_t> report)
    {
        uint8_t bytes[ft260::kMaxReportLength];
        std::copy(report.begin(), report.end(), bytes);
        std::lock_guard<std::mutex> io(m_ioMutex);
        if (DeviceGone())
            return FT260_IO_ERROR;
        if (m_connection->SendFeature(bytes, report.size()) != static_cast<int>(report.size()))
            return FT260_IO_ERROR;
        NoteActivity();
        return FT260_OK;
    }

    // buffer[0] names the report; the whole report of `length` bytes must come back.
    FT260_STATUS GetFeature(uint8_t *buffer, size_t length)
    {
        std::lock_guard<std::mutex> io(m_ioMutex);
        if (DeviceGone())
            return FT260_IO_ERROR;
        if (m_connection->GetFeature(buffer, length) < static_cast<int>(length))
            return FT260_IO_ERROR;
        NoteActivity();
        return FT260_OK;
    }

    FT260_STATUS Write(const uint8_t *data, uint32_t count, uint32_t *written)
    {
        *written = 0;
        std::lock_guard<std::mutex> io(m_ioMutex);
        if (DeviceGone())
            return FT260_IO_ERROR;
        if (count > 0)
            WakeIfIdle();
        uint8_t report[2 + ft260::kMaxDataPerReport];
        while (*written < count) {
            const int n = static_cast<int>(std::min<uint32_t>(count - *written, ft260::kMaxDataPerReport));
            report[0] = ft260::DataReportId(n);
            report[1] = static_cast<uint8_t>(n);
            std::memcpy(report + 2, data + *written, static_cast<size_t>(n));
            if (m_connection->Write(report, static_cast<size_t>(n + 2)) < n + 2)
                return FT260_IO_ERROR;
            NoteActivity();
            *written += static_cast<uint32_t>(n);
        }
        return FT260_OK;
    }

    // Everything the bridge had delivered to the host when the call was made is counted: the reader is
    // asked to empty hidapi's queue first.
    FT260_STATUS QueueStatus(uint32_t *waiting)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_readerEnded) {
            const uint64_t ticket = m_drainRequested.fetch_add(1) + 1;
            m_drained.wait_for(lock, kDrainWaitLimit, [&] { return m_drainDone >= ticket || m_readerEnded; });
        }
        if (m_deviceGone)
            return FT260_IO_ERROR;
        *waiting = static_cast<uint32_t>(std::min<size_t>(m_queue.size(), UINT32_MAX));
        return FT260_OK;
    }

    FT260_STATUS Read(uint8_t *buffer, uint32_t max, uint32_t *read)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_deviceGone)
            return FT260_IO_ERROR;
        const size_t n = std::min<size_t>(max, m_queue.size());
        std::copy_n(m_queue.begin(), n, buffer);
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        *read = static_cast<uint32_t>(n);
        return FT260_OK;
    }

  private:
    void ReaderLoop()
    {
        uint8_t report[ft260::kMaxReportLength];
        while (!m_stop) {
            // A drain asked for before this read is complete once a read finds nothing more.
            const uint64_t requested = m_drainRequested.load();
            const bool draining = requested > m_drainDone;
            const int n = m_connection->ReadTimeout(report, sizeof report, draining ? 0 : kReadTimeoutMs);
            if (n < 0) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_deviceGone = true;
                }
                // A download waiting for the next frame learns at once that none will come.
                WakeWaiter();
                break;
            }
            if (n > 0) {
                Deliver(report, n);
            } else if (draining) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_drainDone = requested;
                m_drained.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_readerEnded = true;
        m_drained.notify_all();
    }

    // A UART data report carries its byte count in byte 1; the report itself may be longer. Status
    // reports (0xB1) and anything else carry no data.
    void Deliver(const uint8_t *report, int length)
    {
        NoteActivity();
        if (length < 2 || report[0] < ft260::kUartDataFirst || report[0] > ft260::kUartDataLast)
            return;
        const int count = std::min<int>(report[1], length - 2);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.insert(m_queue.end(), report + 2, report + 2 + count);
        }
        if (count > 0)
            WakeWaiter();
    }

    void WakeWaiter()
    {
        if (Waker *waker = m_waker->load())
            waker->Notify();
    }

    // The chip, if it saves power, dozes after some seconds without traffic and may then lose the first
    // bytes it receives; a control request wakes it first.
    void WakeIfIdle()
    {
        if (!m_powerSaving || m_clock.MonotonicMicros() - m_lastActivityMicros.load() < kWakeAfterMicros)
            return;
        uint8_t version[ft260::kChipVersionLength] = {ft260::kChipVersion};
        // Should the request fail, the write that follows fails on its own.
        if (m_connection->GetFeature(version, sizeof version) > 0)
            NoteActivity();
    }

    void NoteActivity() { m_lastActivityMicros = m_clock.MonotonicMicros(); }

    bool DeviceGone()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_deviceGone;
    }

    std::unique_ptr<HidConnection> m_connection;
    Clock &m_clock;
    uint8_t m_chipMode = 0;
    const std::shared_ptr<std::atomic<Waker *>> m_waker;
    bool m_powerSaving = false;
    std::atomic<qint64> m_lastActivityMicros;

    // Serialises the caller's reports, so that two calls never interleave their data reports.
    std::mutex m_ioMutex;

    // Guards the host queue and the reader's state.
    std::mutex m_mutex;
    std::condition_variable m_drained;
    std::deque<uint8_t> m_queue;
    bool m_deviceGone = false;
    bool m_readerEnded = false;
    uint64_t m_drainDone = 0; // written by the reader only
    std::atomic<uint64_t> m_drainRequested{0};

    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

HidFt260Device::HidFt260Device(HidTransport &transport, Clock &clock) : m_transport(transport), m_clock(clock) {}

HidFt260Device::~HidFt260Device()
{
    std::lock_guard<std::mutex> lock(m_handlesMutex);
    m_handles.clear();
}

std::shared_ptr<HidFt260Device::OpenBridge> HidFt260Device::Find(FT260_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(m_handlesMutex);
    const auto it = m_handles.find(handle);
    return it == m_handles.end() ? nullptr : it->second;
}

FT260_STATUS HidFt260Device::OpenByDevicePath(const QString &devicePath, FT260_HANDLE *handle)
{
    if (!handle)
        return FT260_INVALID_PARAMETER;
    *handle = nullptr;
    std::unique_ptr<HidConnection> connection = m_transport.Open(devicePath.toStdString());
    if (!connection)
        return FT260_DEVICE_OPEN_FAIL;
    auto bridge = std::make_shared<OpenBridge>(std::move(connection), m_clock, m_waker);
    if (bridge->ReadSystemStatus() != FT260_OK)
        return FT260_DEVICE_OPEN_FAIL;
    // A chip strapped for I2C only shows a single interface, as a UART-only one does; only its status
    // tells them apart. It cannot reach the instrument, and the interface closes again here.
    if (!bridge->HasUart())
        return FT260_INCORRECT_CHIP_MODE;
    bridge->StartReader();
    std::lock_guard<std::mutex> lock(m_handlesMutex);
    *handle = bridge.get();
    m_handles.emplace(*handle, std::move(bridge));
    return FT260_OK;
}

FT260_STATUS HidFt260Device::UartInit(FT260_HANDLE handle)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    const FT260_STATUS mode = bridge->SetFeature({ft260::kSystemSetting, ft260::kSetUartMode, FT260_UART_NO_FLOW_CTRL});
    if (mode != FT260_OK)
        return mode;
    return bridge->SetFeature({ft260::kSystemSetting, ft260::kConfigureUart, FT260_UART_NO_FLOW_CTRL,
                               static_cast<uint8_t>(kInitBaudRate), static_cast<uint8_t>(kInitBaudRate >> 8),
                               static_cast<uint8_t>(kInitBaudRate >> 16), static_cast<uint8_t>(kInitBaudRate >> 24), 8,
                               0, 0, 0});
}

FT260_STATUS HidFt260Device::SelectGpioAFunction(FT260_HANDLE handle, uint8_t function)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    return bridge->SetFeature({ft260::kSystemSetting, ft260::kSelectGpioA, function});
}

FT260_STATUS HidFt260Device::UartGetConfig(FT260_HANDLE handle, UartConfig *config)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    if (!config)
        return FT260_INVALID_PARAMETER;
    uint8_t report[ft260::kUartConfigLength] = {ft260::kUartConfig};
    const FT260_STATUS status = bridge->GetFeature(report, sizeof report);
    if (status != FT260_OK)
        return status;
    config->flowCtrl = report[1];
    config->baudRate =
        uint32_t(report[2]) | uint32_t(report[3]) << 8 | uint32_t(report[4]) << 16 | uint32_t(report[5]) << 24;
    config->dataBits = report[6];
    config->parity = report[7];
    config->stopBits = report[8];
    config->breaking = report[9];
    return FT260_OK;
}

FT260_STATUS HidFt260Device::UartSetBaudRate(FT260_HANDLE handle, uint32_t baudRate)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    return bridge->SetFeature({ft260::kSystemSetting, ft260::kSetBaudRate, static_cast<uint8_t>(baudRate),
                               static_cast<uint8_t>(baudRate >> 8), static_cast<uint8_t>(baudRate >> 16),
                               static_cast<uint8_t>(baudRate >> 24)});
}

FT260_STATUS HidFt260Device::UartSetFlowControl(FT260_HANDLE handle, uint8_t flowControl)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    return bridge->SetFeature({ft260::kSystemSetting, ft260::kSetUartMode, flowControl});
}

FT260_STATUS HidFt260Device::UartSetDataCharacteristics(FT260_HANDLE handle, uint8_t dataBits, uint8_t stopBits,
                                                        uint8_t parity)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    FT260_STATUS status = bridge->SetFeature({ft260::kSystemSetting, ft260::kSetDataBits, dataBits});
    if (status == FT260_OK)
        status = bridge->SetFeature({ft260::kSystemSetting, ft260::kSetParity, parity});
    if (status == FT260_OK)
        status = bridge->SetFeature({ft260::kSystemSetting, ft260::kSetStopBits, stopBits});
    return status;
}

FT260_STATUS HidFt260Device::UartGetQueueStatus(FT260_HANDLE handle, uint32_t *bytesWaiting)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    if (!bytesWaiting)
        return FT260_INVALID_PARAMETER;
    return bridge->QueueStatus(bytesWaiting);
}

FT260_STATUS HidFt260Device::UartRead(FT260_HANDLE handle, uint8_t *buffer, uint32_t bufferLength, uint32_t bytesToRead,
                                      uint32_t *bytesRead)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    if (!buffer || !bytesRead)
        return FT260_NULL_BUFFER_POINTER;
    // Never more than the buffer holds, whatever was asked for.
    return bridge->Read(buffer, std::min(bufferLength, bytesToRead), bytesRead);
}

FT260_STATUS HidFt260Device::UartWrite(FT260_HANDLE handle, const uint8_t *buffer, uint32_t bufferLength,
                                       uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    if (!buffer || !bytesWritten)
        return FT260_NULL_BUFFER_POINTER;
    if (bytesToWrite > bufferLength)
        return FT260_BUFFER_SIZE_ERROR;
    return bridge->Write(buffer, bytesToWrite, bytesWritten);
}

FT260_STATUS HidFt260Device::UartReset(FT260_HANDLE handle)
{
    const auto bridge = Find(handle);
    if (!bridge)
        return FT260_INVALID_HANDLE;
    return bridge->SetFeature({ft260::kSystemSetting, ft260::kUartReset});
}

FT260_STATUS HidFt260Device::Close(FT260_HANDLE handle)
{
    std::shared_ptr<OpenBridge> bridge;
    {
        std::lock_guard<std::mutex> lock(m_handlesMutex);
        const auto it = m_handles.find(handle);
        if (it == m_handles.end())
            return FT260_INVALID_HANDLE;
        bridge = std::move(it->second);
        m_handles.erase(it);
    }
    // The reader stops and the interface closes here, or when a call still running on another thread
    // lets go of the bridge.
    bridge.reset();
    return FT260_OK;
}

void HidFt260Device::SetInputWaker(Waker *waker)
{
    m_waker->store(waker);
}
