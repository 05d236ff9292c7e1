#pragma once

#include "Clock.h"
#include "Ft260Device.h"

#include <QByteArray>
#include <QStringList>

#include <deque>
#include <functional>

// An Ft260Device that records every call and answers writes through a script: the test says which
// bytes come back and how many milliseconds later. Bytes become readable on the shared clock.
class RecordingFt260Device : public Ft260Device {
  public:
    struct Answer {
        QByteArray bytes;
        int delayMs = 0;
    };
    using Responder = std::function<Answer(const QByteArray &written)>;

    explicit RecordingFt260Device(Clock &clock) : m_clock(clock) {}

    QStringList calls;
    UartConfig config{FT260_UART_NO_FLOW_CTRL, 115200, 8, 0, 0, 0};
    Responder responder;
    QList<QByteArray> writes;
    bool failOpen = false;
    bool failWrite = false;
    bool failQueueStatus = false;
    // When set, the next read hands out at most this many bytes, as a bridge may when a USB report comes
    // late, however many are queued.
    uint32_t nextReadLimit = 0;

    // Bytes that arrive at the given delay from now, without a request.
    void Inject(const QByteArray &bytes, int delayMs = 0)
    {
        for (char b : bytes)
            m_inbound.push_back({m_clock.MonotonicMicros() + qint64(delayMs) * 1000, uint8_t(b)});
    }
    int Pending() const { return int(m_inbound.size()); }

    FT260_STATUS OpenByDevicePath(const QString &path, FT260_HANDLE *handle) override
    {
        calls << "Open " + path;
        if (failOpen)
            return FT260_DEVICE_OPEN_FAIL;
        *handle = reinterpret_cast<FT260_HANDLE>(++m_handles);
        return FT260_OK;
    }
    FT260_STATUS UartInit(FT260_HANDLE) override { return Call("UartInit"); }
    FT260_STATUS SelectGpioAFunction(FT260_HANDLE, uint8_t f) override
    {
        return Call(QString("SelectGpioAFunction %1").arg(f));
    }
    FT260_STATUS UartGetConfig(FT260_HANDLE, UartConfig *c) override
    {
        *c = config;
        return Call("UartGetConfig");
    }
    FT260_STATUS UartSetBaudRate(FT260_HANDLE, uint32_t baud) override
    {
        config.baudRate = baud;
        return Call(QString("UartSetBaudRate %1").arg(baud));
    }
    FT260_STATUS UartSetFlowControl(FT260_HANDLE, uint8_t mode) override
    {
        config.flowCtrl = mode;
        return Call(QString("UartSetFlowControl %1").arg(mode));
    }
    FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE, uint8_t bits, uint8_t stop, uint8_t parity) override
    {
        config.dataBits = bits;
        config.stopBits = stop;
        config.parity = parity;
        return Call(QString("UartSetDataCharacteristics %1 %2 %3").arg(bits).arg(stop).arg(parity));
    }
    FT260_STATUS UartGetQueueStatus(FT260_HANDLE, uint32_t *waiting) override
    {
        *waiting = Arrived();
        return failQueueStatus ? FT260_IO_ERROR : FT260_OK;
    }
    FT260_STATUS UartRead(FT260_HANDLE, uint8_t *buffer, uint32_t length, uint32_t toRead, uint32_t *read) override
    {
        uint32_t n = std::min({toRead, length, Arrived()});
        if (nextReadLimit > 0) {
            n = std::min(n, nextReadLimit);
            nextReadLimit = 0;
        }
        for (uint32_t i = 0; i < n; ++i) {
            buffer[i] = m_inbound.front().second;
            m_inbound.pop_front();
        }
        *read = n;
        return FT260_OK;
    }
    FT260_STATUS UartWrite(FT260_HANDLE, const uint8_t *buffer, uint32_t, uint32_t toWrite, uint32_t *written) override
    {
        const QByteArray bytes(reinterpret_cast<const char *>(buffer), int(toWrite));
        writes << bytes;
        calls << "UartWrite";
        if (failWrite) {
            *written = 0;
            return FT260_IO_ERROR;
        }
        *written = toWrite;
        if (responder) {
            const Answer a = responder(bytes);
            Inject(a.bytes, a.delayMs);
        }
        return FT260_OK;
    }
    FT260_STATUS UartReset(FT260_HANDLE) override { return Call("UartReset"); }
    FT260_STATUS Close(FT260_HANDLE) override { return Call("Close"); }
    // The scripted bytes are known ahead: the link is told when the ones it waits for arrive.
    qint64 NextInputMicros(FT260_HANDLE, uint32_t bytes) override
    {
        const uint32_t arrived = Arrived();
        if (m_inbound.size() <= arrived)
            return -1;
        const size_t last = std::min<size_t>(arrived + std::max<uint32_t>(bytes, 1), m_inbound.size()) - 1;
        return m_inbound[last].first;
    }

  private:
    FT260_STATUS Call(const QString &name)
    {
        calls << name;
        return FT260_OK;
    }
    uint32_t Arrived() const
    {
        uint32_t n = 0;
        for (const auto &[at, byte] : m_inbound) {
            if (at > m_clock.MonotonicMicros())
                break;
            ++n;
        }
        return n;
    }

    Clock &m_clock;
    std::deque<std::pair<qint64, uint8_t>> m_inbound;
    quintptr m_handles = 0x100;
};
