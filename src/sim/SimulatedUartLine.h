#pragma once

#include "SimFrames.h"
#include "SimulatedFaults.h"

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class Clock;
class SimulatedInstrument;
class Waker;

// The UART between a bridge and the simulated instrument, timed on the shared clock. The instrument talks
// at 115200 baud 8N1, so a byte takes 10 bits = 86.8 us on the wire in each direction. Bytes written by
// the host reach the instrument as their line time passes; once a whole request frame has arrived the
// instrument answers after a short processing delay, and the answer bytes become readable one by one as
// their own line time passes. Nothing runs in the background: every call brings the line up to the
// clock's present moment.
//
// The line also carries presence (plugged or not) and the fault plan, so that any bridge model (the
// LibFT260-level SimulatedBridge, or a model of the FT260's HID reports) puts the same instrument and the
// same faults behind it. Thread-safe.
//
// Nothing runs in the background, so a host that waits for input asks NextArrivalMicros when to look
// again; what happens at other moments (an unplug, injected noise) notifies the host's waker.
class SimulatedUartLine {
  public:
    static constexpr uint32_t kInstrumentBaudRate = 115200;
    static constexpr qint64 kDefaultProcessingDelayMicros = 2000;

    SimulatedUartLine(SimulatedInstrument &instrument, Clock &clock);
    SimulatedUartLine(const SimulatedUartLine &) = delete;
    SimulatedUartLine &operator=(const SimulatedUartLine &) = delete;

    // Host side. HostWrite queues bytes for transmission and returns how many it took: all of them, or 0
    // while unplugged. Available counts the bytes that have completely arrived by now; HostRead takes up
    // to max of them (0 while unplugged).
    int HostWrite(const uint8_t *bytes, int count);
    int Available() const;
    int HostRead(uint8_t *buffer, int max);
    // The moment (Clock::MonotonicMicros) by which `bytes` more bytes will have arrived for the host, or of
    // the next event before that (the last byte on its way, or a request reaching the instrument); -1
    // when nothing is on the way.
    qint64 NextArrivalMicros(int bytes) const;
    // Notified when bytes arrive out of turn or the bridge is unplugged; null detaches it.
    void SetWaker(Waker *waker);

    // The bridge's UART reset: the bytes that have arrived for the host are dropped (bytes still on the wire
    // keep arriving), and so is whatever the host wrote that has not reached the instrument yet.
    void ResetHostSide();

    // The host's UART format. Unless it is 115200 baud 8N1 the instrument cannot make sense of what the
    // host sends: it never forms a request, so nothing is answered.
    void SetHostFormat(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits, uint8_t parity);
    bool HostFormatMatches() const;

    // Presence.
    bool IsPlugged() const;
    void Plug();
    void Unplug();
    // How many times the bridge has been plugged in (1 at the start). A handle opened before an unplug
    // stays dead after the bridge comes back.
    int PlugCount() const;

    // Faults and timing.
    void SetFaults(const FaultPlan &plan);
    FaultPlan Faults() const;
    void SetProcessingDelayMicros(qint64 micros);
    // Noise that arrives for the host right now, as if the instrument had sent it earlier.
    void InjectToHost(const uint8_t *bytes, int count);

    // Requests that reached the instrument whole and valid, answered or not.
    int ExchangeCount() const;
    // Frames the instrument dropped (bad checksum, bad ETX, stalled) and bytes it ignored before an STX.
    int DroppedRequestFrames() const;
    int IgnoredNoiseBytes() const;

    // The instrument itself is not locked: look at it while no other thread drives the line.
    SimulatedInstrument &Instrument() { return m_instrument; }
    Clock &GetClock() { return m_clock; }

    // Line time of one byte at a baud rate, in nanoseconds (10 bits: start, 8 data, stop).
    static qint64 ByteTimeNanos(uint32_t baudRate);

  private:
    struct TimedByte {
        uint8_t value;
        qint64 atNanos; // the moment its stop bit has passed
    };

    qint64 NowNanos() const;
    void PumpLocked() const;
    void RespondLocked(const SimFrames::Request &request, qint64 atNanos) const;
    void CheckUnplugLocked() const;
    void UnplugLocked() const;
    void NotifyLocked() const;

    SimulatedInstrument &m_instrument;
    Clock &m_clock;
    mutable std::mutex m_mutex;

    // The line moves on lazily with the clock, also inside the const Available().
    mutable SimFrames::Receiver m_receiver;
    mutable std::deque<TimedByte> m_toInstrument;
    mutable std::deque<TimedByte> m_toHost;
    mutable qint64 m_hostTxFreeNanos = 0;
    mutable qint64 m_instrumentTxFreeNanos = 0;
    mutable int m_exchanges = 0;
    mutable std::array<int, 256> m_occurrences{};
    mutable bool m_plugged = true;
    mutable int m_plugCount = 1;
    mutable FaultPlan m_faults;
    Waker *m_waker = nullptr;

    qint64 m_processingDelayNanos = kDefaultProcessingDelayMicros * 1000;
    bool m_hostFormatOk = true;
};
