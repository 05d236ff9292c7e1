#pragma once

#include "Clock.h"
#include "Simulation.h"

#include <QByteArray>

#include <memory>
#include <vector>

inline QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Frames written out by hand here, independent of both the desktop's and the instrument's frame code.
inline QByteArray RequestFrame(uint8_t command, const QByteArray &data = QByteArray(1, '\0'))
{
    QByteArray f;
    f.append('\x02').append(char(data.size() + 1)).append(char(command)).append(data);
    uint8_t x = 0;
    for (char c : f)
        x ^= uint8_t(c);
    return f.append(char(x)).append('\x03');
}

inline QByteArray LongRequestFrame(uint8_t command, const QByteArray &data)
{
    QByteArray f;
    f.append('\x02').append(char((data.size() + 1) >> 8)).append(char((data.size() + 1) & 0xFF));
    f.append(char(command)).append(data);
    uint8_t x = 0;
    for (char c : f)
        x ^= uint8_t(c);
    return f.append(char(x)).append('\x03');
}

// Splits a run of short frames by their LEN bytes.
inline std::vector<QByteArray> SplitFrames(const QByteArray &bytes)
{
    std::vector<QByteArray> frames;
    for (int at = 0; at + 2 <= bytes.size();) {
        const int length = uint8_t(bytes[at + 1]) + 4;
        frames.push_back(bytes.mid(at, length));
        at += length;
    }
    return frames;
}

// A simulation on a virtual clock, talked to byte by byte through its UART line.
struct SimRig {
    VirtualClock clock;
    std::unique_ptr<Simulation> sim;

    // The bridge starts configured for the instrument, as the desktop leaves it.
    explicit SimRig(const Scenario &scenario = Scenario()) : sim(std::make_unique<Simulation>(scenario, clock))
    {
        UartConfig config = SimulatedBridge::FreshConfig();
        config.baudRate = 115200;
        config.flowCtrl = FT260_UART_NO_FLOW_CTRL;
        sim->Bridge().SetConfig(config);
    }

    SimulatedUartLine &Line() { return sim->Line(); }
    SimulatedInstrument &Instrument() { return sim->Instrument(); }

    void Write(const QByteArray &bytes)
    {
        Line().HostWrite(reinterpret_cast<const uint8_t *>(bytes.constData()), int(bytes.size()));
    }
    QByteArray ReadAll()
    {
        QByteArray out(Line().Available(), '\0');
        out.resize(Line().HostRead(reinterpret_cast<uint8_t *>(out.data()), int(out.size())));
        return out;
    }
    // Sends one request and returns everything that arrived within waitMs.
    QByteArray Ask(const QByteArray &request, int waitMs = 100)
    {
        Write(request);
        clock.Sleep(waitMs);
        return ReadAll();
    }
    QByteArray Ask(uint8_t command, const QByteArray &data = QByteArray(1, '\0'), int waitMs = 100)
    {
        return Ask(RequestFrame(command, data), waitMs);
    }
    // The data bytes of a single short answer.
    QByteArray AskData(uint8_t command, const QByteArray &data = QByteArray(1, '\0'))
    {
        const QByteArray answer = Ask(command, data);
        return answer.size() >= 5 ? answer.mid(3, answer.size() - 5) : QByteArray();
    }
};
