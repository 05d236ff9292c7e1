#pragma once

// An FT260 bridge whose incoming bytes are the fuzzer's, served poll by poll: every time the link asks how
// many bytes are queued, the next chunk of the input arrives. A chunk starts with a control byte whose low
// six bits are the number of bytes that arrive; with 0x40 a limit byte follows, and the next read hands out
// fewer bytes than it asks for (limit modulo the count asked for), as a bridge may when a USB report comes
// late; 0x80 makes this queue query fail. When the input is used up the line is silent.
//
// In healthy mode the input is set aside and every request is answered at once with a correct frame of
// the command's answer length, so that a test can check the link still works.

#include "FuzzCheck.h"

#include "Commands.h"
#include "DeviceDiscovery.h"
#include "Ft260Device.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <deque>
#include <optional>

class FuzzBridge : public Ft260Device {
  public:
    explicit FuzzBridge(FuzzInput &input) : m_input(input) {}

    // Every non-empty read, in order, as the bridge handed it out.
    QList<QByteArray> reads;
    // The bytes of the latest read (empty reads included) and its number among all reads.
    QByteArray lastRead;
    int readNumber = 0;
    // The first read after the latest write.
    QByteArray firstReadAfterWrite;
    // Every byte read since the latest write, in order: the stream the link finds its frames in.
    QByteArray readSinceWrite;
    int openHandles = 0;

    void SetHealthy()
    {
        m_healthy = true;
        m_queue.clear();
        m_shortRead.reset();
    }

    // The data bytes healthy mode answers a command with.
    static QByteArray HealthyData(uint8_t commandId)
    {
        QByteArray data;
        for (int i = 0; i < kResponseDataLength[commandId - CMD_FIRST]; ++i)
            data.append(static_cast<char>(commandId + i));
        return data;
    }

    FT260_STATUS OpenByDevicePath(const QString &, FT260_HANDLE *handle) override
    {
        ++openHandles;
        *handle = reinterpret_cast<FT260_HANDLE>(0x260);
        return FT260_OK;
    }
    FT260_STATUS UartInit(FT260_HANDLE h) override { return Check(h); }
    FT260_STATUS SelectGpioAFunction(FT260_HANDLE h, uint8_t) override { return Check(h); }
    FT260_STATUS UartGetConfig(FT260_HANDLE h, UartConfig *config) override
    {
        *config = UartConfig{FT260_UART_NO_FLOW_CTRL, 115200, 8, 0, 0, 0};
        return Check(h);
    }
    FT260_STATUS UartSetBaudRate(FT260_HANDLE h, uint32_t) override { return Check(h); }
    FT260_STATUS UartSetFlowControl(FT260_HANDLE h, uint8_t) override { return Check(h); }
    FT260_STATUS UartSetDataCharacteristics(FT260_HANDLE h, uint8_t, uint8_t, uint8_t) override { return Check(h); }
    FT260_STATUS UartGetQueueStatus(FT260_HANDLE h, uint32_t *waiting) override
    {
        Check(h);
        bool fail = false;
        if (!m_healthy && m_input.Remaining() > 0) {
            const uint8_t control = m_input.Byte();
            if (control & 0x40)
                m_shortRead = m_input.Byte();
            for (const uint8_t b : m_input.Bytes(control & 0x3F))
                m_queue.push_back(b);
            fail = control & 0x80;
        }
        *waiting = static_cast<uint32_t>(m_queue.size());
        return fail ? FT260_IO_ERROR : FT260_OK;
    }
    FT260_STATUS UartRead(FT260_HANDLE h, uint8_t *buffer, uint32_t bufferLength, uint32_t toRead,
                          uint32_t *bytesRead) override
    {
        Check(h);
        FUZZ_CHECK(toRead <= bufferLength);
        uint32_t n = std::min<uint32_t>(toRead, static_cast<uint32_t>(m_queue.size()));
        if (m_shortRead && toRead > 0) {
            n = std::min<uint32_t>(n, *m_shortRead % toRead);
            m_shortRead.reset();
        }
        lastRead.clear();
        for (uint32_t i = 0; i < n; ++i) {
            buffer[i] = m_queue.front();
            lastRead.append(static_cast<char>(m_queue.front()));
            m_queue.pop_front();
        }
        *bytesRead = n;
        ++readNumber;
        if (m_firstAfterWritePending) {
            firstReadAfterWrite = lastRead;
            m_firstAfterWritePending = false;
        }
        if (n > 0)
            reads.append(lastRead);
        readSinceWrite.append(lastRead);
        return FT260_OK;
    }
    FT260_STATUS UartWrite(FT260_HANDLE h, const uint8_t *buffer, uint32_t bufferLength, uint32_t toWrite,
                           uint32_t *written) override
    {
        Check(h);
        FUZZ_CHECK(toWrite <= bufferLength && toWrite >= 5);
        *written = toWrite;
        firstReadAfterWrite.clear();
        readSinceWrite.clear();
        m_firstAfterWritePending = true;
        if (m_healthy) {
            // A short request carries its command ID at offset 2; no healthy check sends a long one.
            const uint8_t commandId = buffer[2];
            if (commandId >= CMD_FIRST && commandId <= CMD_LAST) {
                const QByteArray data = HealthyData(commandId);
                QByteArray frame;
                frame.append('\x02').append(static_cast<char>(data.size() + 1)).append(static_cast<char>(commandId));
                frame.append(data);
                frame.append(static_cast<char>(
                    fuzzrules::XorOf(reinterpret_cast<const uint8_t *>(frame.constData()), int(frame.size()))));
                frame.append('\x03');
                m_queue.insert(m_queue.end(), frame.begin(), frame.end());
            }
        }
        return FT260_OK;
    }
    FT260_STATUS UartReset(FT260_HANDLE h) override { return Check(h); }
    FT260_STATUS Close(FT260_HANDLE h) override
    {
        Check(h);
        --openHandles;
        return FT260_OK;
    }

  private:
    // The link only ever talks to the handle it was given.
    static FT260_STATUS Check(FT260_HANDLE h)
    {
        FUZZ_CHECK(h == reinterpret_cast<FT260_HANDLE>(0x260));
        return FT260_OK;
    }

    FuzzInput &m_input;
    std::deque<uint8_t> m_queue;
    std::optional<uint8_t> m_shortRead;
    bool m_healthy = false;
    bool m_firstAfterWritePending = false;
};

// Discovery that always sees one bridge.
struct OneBridgeDiscovery : DeviceDiscovery {
    QList<HidInterfaceInfo> EnumerateHidInterfaces() override
    {
        return {{QStringLiteral("fuzz-bridge"), 0x0403, 0x6030}};
    }
};
