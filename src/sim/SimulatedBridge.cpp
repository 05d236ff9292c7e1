#include "SimulatedBridge.h"

#include "SimulatedUartLine.h"

#include <QStringList>

QString BridgeCall::ToString() const
{
    QStringList parts;
    for (qint64 a : args)
        parts << QString::number(a);
    return name + QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

UartConfig SimulatedBridge::FreshConfig()
{
    UartConfig config;
    config.flowCtrl = FT260_UART_XON_XOFF_OFF;
    config.baudRate = 9600;
    config.dataBits = 8;
    config.parity = 0;
    config.stopBits = 0;
    return config;
}

SimulatedBridge::SimulatedBridge(SimulatedUartLine &line, const QString &devicePath, const UartConfig &initial)
    : m_line(line), m_devicePath(devicePath), m_config(initial)
{
    ApplyFormatLocked();
}

void SimulatedBridge::ApplyFormatLocked()
{
    m_line.SetHostFormat(m_config.baudRate, m_config.dataBits, m_config.stopBits, m_config.parity);
}

FT260_STATUS SimulatedBridge::Enter(const char *name, FT260_HANDLE handle, std::vector<qint64> args)
{
    m_calls.push_back({QLatin1String(name), std::move(args)});
    const auto it = m_handles.find(handle);
    if (it == m_handles.end())
        return FT260_INVALID_HANDLE;
    if (!m_line.IsPlugged())
        return FT260_IO_ERROR;
    if (it->second.plugCount != m_line.PlugCount())
        return FT260_INVALID_HANDLE;
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::OpenByDevicePath(const QString &devicePath, FT260_HANDLE *handle)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back({QStringLiteral("OpenByDevicePath"), {}});
    if (!handle)
        return FT260_INVALID_PARAMETER;
    if (!m_line.IsPlugged() || devicePath != m_devicePath)
        return FT260_DEVICE_NOT_FOUND;
    FT260_HANDLE h = reinterpret_cast<FT260_HANDLE>(m_nextHandle++);
    m_handles[h] = Handle{m_line.PlugCount()};
    *handle = h;
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::UartInit(FT260_HANDLE handle)
{
    std::lock_guard lock(m_mutex);
    return Enter("UartInit", handle, {});
}

FT260_STATUS SimulatedBridge::SelectGpioAFunction(FT260_HANDLE handle, uint8_t function)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("SelectGpioAFunction", handle, {function});
    if (status == FT260_OK)
        m_gpioA = function;
    return status;
}

FT260_STATUS SimulatedBridge::UartGetConfig(FT260_HANDLE handle, UartConfig *config)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartGetConfig", handle, {});
    if (status == FT260_OK && !config)
        return FT260_NULL_BUFFER_POINTER;
    if (status == FT260_OK)
        *config = m_config;
    return status;
}

FT260_STATUS SimulatedBridge::UartSetBaudRate(FT260_HANDLE handle, uint32_t baudRate)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartSetBaudRate", handle, {baudRate});
    if (status != FT260_OK)
        return status;
    // The FT260's UART runs from 1200 baud to 12 Mbaud.
    if (baudRate < 1200 || baudRate > 12000000)
        return FT260_UART_SET_FAIL;
    m_config.baudRate = baudRate;
    ApplyFormatLocked();
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::UartSetFlowControl(FT260_HANDLE handle, uint8_t flowControl)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartSetFlowControl", handle, {flowControl});
    if (status != FT260_OK)
        return status;
    if (flowControl > FT260_UART_NO_FLOW_CTRL)
        return FT260_UART_SET_FAIL;
    m_config.flowCtrl = flowControl;
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::UartSetDataCharacteristics(FT260_HANDLE handle, uint8_t dataBits, uint8_t stopBits,
                                                         uint8_t parity)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartSetDataCharacteristics", handle, {dataBits, stopBits, parity});
    if (status != FT260_OK)
        return status;
    // 7 or 8 data bits; stop bits 0 (one) or 2 (two); parity none, odd, even, mark or space.
    if ((dataBits != 7 && dataBits != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return FT260_UART_SET_FAIL;
    m_config.dataBits = dataBits;
    m_config.stopBits = stopBits;
    m_config.parity = parity;
    ApplyFormatLocked();
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::UartGetQueueStatus(FT260_HANDLE handle, uint32_t *bytesWaiting)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartGetQueueStatus", handle, {});
    if (status == FT260_OK && !bytesWaiting)
        return FT260_NULL_BUFFER_POINTER;
    if (status == FT260_OK)
        *bytesWaiting = uint32_t(m_line.Available());
    return status;
}

FT260_STATUS SimulatedBridge::UartRead(FT260_HANDLE handle, uint8_t *buffer, uint32_t bufferLength,
                                       uint32_t bytesToRead, uint32_t *bytesRead)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartRead", handle, {bufferLength, bytesToRead});
    if (status != FT260_OK)
        return status;
    if (!buffer || !bytesRead)
        return FT260_NULL_BUFFER_POINTER;
    if (bytesToRead > bufferLength)
        return FT260_BUFFER_SIZE_ERROR;
    // Returns what has arrived, up to the count asked for; it does not wait for more.
    *bytesRead = uint32_t(m_line.HostRead(buffer, int(std::min<uint32_t>(bytesToRead, 1u << 30))));
    return FT260_OK;
}

FT260_STATUS SimulatedBridge::UartWrite(FT260_HANDLE handle, const uint8_t *buffer, uint32_t bufferLength,
                                        uint32_t bytesToWrite, uint32_t *bytesWritten)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartWrite", handle, {bufferLength, bytesToWrite});
    if (status != FT260_OK)
        return status;
    if (!buffer || !bytesWritten)
        return FT260_NULL_BUFFER_POINTER;
    if (bytesToWrite > bufferLength)
        return FT260_BUFFER_SIZE_ERROR;
    const int written = m_line.HostWrite(buffer, int(std::min<uint32_t>(bytesToWrite, 1u << 30)));
    *bytesWritten = uint32_t(written);
    // The line takes nothing when the bridge vanished during the call.
    return written == int(bytesToWrite) || bytesToWrite == 0 ? FT260_OK : FT260_IO_ERROR;
}

FT260_STATUS SimulatedBridge::UartReset(FT260_HANDLE handle)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("UartReset", handle, {});
    if (status == FT260_OK)
        m_line.ResetHostSide();
    return status;
}

FT260_STATUS SimulatedBridge::Close(FT260_HANDLE handle)
{
    std::lock_guard lock(m_mutex);
    FT260_STATUS status = Enter("Close", handle, {});
    if (status == FT260_INVALID_HANDLE && m_handles.count(handle) == 0)
        return status;
    m_handles.erase(handle);
    return status == FT260_INVALID_HANDLE ? FT260_OK : status;
}

void SimulatedBridge::SetInputWaker(Waker *waker)
{
    m_line.SetWaker(waker);
}

qint64 SimulatedBridge::NextInputMicros(FT260_HANDLE handle, uint32_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_handles.count(handle) == 0)
            return -1;
    }
    return m_line.NextArrivalMicros(int(std::min<uint32_t>(bytes, 1u << 30)));
}

void SimulatedBridge::Plug()
{
    m_line.Plug();
}

void SimulatedBridge::Unplug()
{
    m_line.Unplug();
}

bool SimulatedBridge::IsPlugged() const
{
    return m_line.IsPlugged();
}

UartConfig SimulatedBridge::Config() const
{
    std::lock_guard lock(m_mutex);
    return m_config;
}

void SimulatedBridge::SetConfig(const UartConfig &config)
{
    std::lock_guard lock(m_mutex);
    m_config = config;
    ApplyFormatLocked();
}

uint8_t SimulatedBridge::GpioAFunction() const
{
    std::lock_guard lock(m_mutex);
    return m_gpioA;
}

int SimulatedBridge::OpenHandleCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_handles.size());
}

std::vector<BridgeCall> SimulatedBridge::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

QStringList SimulatedBridge::CallNames() const
{
    std::lock_guard lock(m_mutex);
    QStringList names;
    for (const BridgeCall &call : m_calls)
        names << call.name;
    return names;
}

void SimulatedBridge::ClearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}
