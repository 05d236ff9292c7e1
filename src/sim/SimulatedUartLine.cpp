#include "SimulatedUartLine.h"

#include "Clock.h"
#include "Commands.h"
#include "SimulatedInstrument.h"

#include <algorithm>

namespace {

// Noise of the faults: it holds STX and ETX bytes, so that a desktop that scans for them is caught.
QByteArray Noise(int count)
{
    static const uint8_t kPattern[] = {0x5A, 0x02, 0xA5, 0x03, 0xFF, 0x00, 0x33, 0x7E};
    QByteArray noise;
    for (int i = 0; i < count; ++i)
        noise.append(char(kPattern[i % sizeof(kPattern)]));
    return noise;
}

} // namespace

SimulatedUartLine::SimulatedUartLine(SimulatedInstrument &instrument, Clock &clock)
    : m_instrument(instrument), m_clock(clock)
{
}

qint64 SimulatedUartLine::ByteTimeNanos(uint32_t baudRate)
{
    return baudRate == 0 ? 0 : (10LL * 1000000000LL + baudRate / 2) / baudRate;
}

qint64 SimulatedUartLine::NowNanos() const
{
    return m_clock.MonotonicMicros() * 1000;
}

int SimulatedUartLine::HostWrite(const uint8_t *bytes, int count)
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    if (m_plugged && m_faults.unplugAfterExchanges >= 0 && m_exchanges >= m_faults.unplugAfterExchanges)
        UnplugLocked();
    if (!m_plugged || !bytes || count <= 0)
        return 0;
    // Sent at the wrong rate or format, the bytes are noise to the instrument and never form a request.
    if (!m_hostFormatOk)
        return count;
    const qint64 byteTime = ByteTimeNanos(kInstrumentBaudRate);
    qint64 at = std::max(NowNanos(), m_hostTxFreeNanos);
    for (int i = 0; i < count; ++i) {
        at += byteTime;
        m_toInstrument.push_back({bytes[i], at});
    }
    m_hostTxFreeNanos = at;
    return count;
}

int SimulatedUartLine::Available() const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    if (!m_plugged)
        return 0;
    const qint64 now = NowNanos();
    const auto firstLater =
        std::find_if(m_toHost.begin(), m_toHost.end(), [now](const TimedByte &b) { return b.atNanos > now; });
    return int(firstLater - m_toHost.begin());
}

int SimulatedUartLine::HostRead(uint8_t *buffer, int max)
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    if (!m_plugged || !buffer)
        return 0;
    const qint64 now = NowNanos();
    int n = 0;
    while (n < max && !m_toHost.empty() && m_toHost.front().atNanos <= now) {
        buffer[n++] = m_toHost.front().value;
        m_toHost.pop_front();
    }
    CheckUnplugLocked();
    return n;
}

qint64 SimulatedUartLine::NextArrivalMicros(int bytes) const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    if (!m_plugged)
        return -1;
    const qint64 now = NowNanos();
    const auto firstLater =
        std::find_if(m_toHost.begin(), m_toHost.end(), [now](const TimedByte &b) { return b.atNanos > now; });
    const qint64 onTheWay = m_toHost.end() - firstLater;
    qint64 atNanos = -1;
    if (onTheWay > 0)
        atNanos = (firstLater + std::min<qint64>(std::max(bytes, 1), onTheWay) - 1)->atNanos;
    // A request still on its way to the instrument brings an answer once it has arrived.
    if (!m_toInstrument.empty() && (onTheWay < bytes || atNanos < 0))
        atNanos = atNanos < 0 ? m_toInstrument.back().atNanos : std::min(atNanos, m_toInstrument.back().atNanos);
    return atNanos < 0 ? -1 : (atNanos + 999) / 1000;
}

void SimulatedUartLine::SetWaker(Waker *waker)
{
    std::lock_guard lock(m_mutex);
    m_waker = waker;
}

void SimulatedUartLine::NotifyLocked() const
{
    if (m_waker)
        m_waker->Notify();
}

void SimulatedUartLine::ResetHostSide()
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    // What has arrived is dropped; what the instrument is still sending keeps coming in.
    const qint64 now = NowNanos();
    while (!m_toHost.empty() && m_toHost.front().atNanos <= now)
        m_toHost.pop_front();
    m_toInstrument.clear();
    m_hostTxFreeNanos = now;
}

void SimulatedUartLine::SetHostFormat(uint32_t baudRate, uint8_t dataBits, uint8_t stopBits, uint8_t parity)
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    m_hostFormatOk = baudRate == kInstrumentBaudRate && dataBits == 8 && stopBits == 0 && parity == 0;
}

bool SimulatedUartLine::HostFormatMatches() const
{
    std::lock_guard lock(m_mutex);
    return m_hostFormatOk;
}

bool SimulatedUartLine::IsPlugged() const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    return m_plugged;
}

void SimulatedUartLine::Plug()
{
    std::lock_guard lock(m_mutex);
    if (m_plugged)
        return;
    m_plugged = true;
    ++m_plugCount;
    m_hostTxFreeNanos = m_instrumentTxFreeNanos = NowNanos();
    NotifyLocked();
}

void SimulatedUartLine::Unplug()
{
    std::lock_guard lock(m_mutex);
    UnplugLocked();
}

void SimulatedUartLine::UnplugLocked() const
{
    m_plugged = false;
    m_toHost.clear();
    m_toInstrument.clear();
    // A host waiting for input learns at once that none will come.
    NotifyLocked();
}

int SimulatedUartLine::PlugCount() const
{
    std::lock_guard lock(m_mutex);
    return m_plugCount;
}

void SimulatedUartLine::SetFaults(const FaultPlan &plan)
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    m_faults = plan;
}

FaultPlan SimulatedUartLine::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void SimulatedUartLine::SetProcessingDelayMicros(qint64 micros)
{
    std::lock_guard lock(m_mutex);
    m_processingDelayNanos = std::max<qint64>(0, micros) * 1000;
}

void SimulatedUartLine::InjectToHost(const uint8_t *bytes, int count)
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    if (!m_plugged || !bytes)
        return;
    const qint64 now = NowNanos();
    auto at = std::find_if(m_toHost.begin(), m_toHost.end(), [now](const TimedByte &b) { return b.atNanos > now; });
    for (int i = 0; i < count; ++i)
        at = m_toHost.insert(at, TimedByte{bytes[i], now}) + 1;
    NotifyLocked();
}

int SimulatedUartLine::ExchangeCount() const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    return m_exchanges;
}

int SimulatedUartLine::DroppedRequestFrames() const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    return m_receiver.DroppedFrames();
}

int SimulatedUartLine::IgnoredNoiseBytes() const
{
    std::lock_guard lock(m_mutex);
    PumpLocked();
    return m_receiver.NoiseBytes();
}

// Hands the instrument every byte that has arrived by now, in order; a completed request is answered at
// the moment its last byte arrived.
void SimulatedUartLine::PumpLocked() const
{
    if (!m_plugged)
        return;
    const qint64 now = NowNanos();
    while (!m_toInstrument.empty() && m_toInstrument.front().atNanos <= now) {
        const TimedByte byte = m_toInstrument.front();
        m_toInstrument.pop_front();
        if (auto request = m_receiver.Feed(byte.value, byte.atNanos / 1000))
            RespondLocked(*request, byte.atNanos);
    }
    CheckUnplugLocked();
}

// The bridge goes away once the host has taken the whole answer to the last allowed exchange (or at its
// next write, if it never does).
void SimulatedUartLine::CheckUnplugLocked() const
{
    if (m_plugged && m_faults.unplugAfterExchanges >= 0 && m_exchanges >= m_faults.unplugAfterExchanges &&
        m_toHost.empty()) {
        m_faults.unplugAfterExchanges = -1;
        UnplugLocked();
    }
}

void SimulatedUartLine::RespondLocked(const SimFrames::Request &request, qint64 atNanos) const
{
    ++m_exchanges;
    const int occurrence = ++m_occurrences[request.command];
    // The instrument answers as of the moment the request arrived, however late the line is looked at.
    std::vector<QByteArray> frames = m_instrument.Answer(request, m_clock.NowAt(atNanos / 1000));

    if (request.command == CMD_READ_MEMORY && !frames.empty()) {
        const int records = int(frames.size()) - 1; // the last frame is the end marker
        for (int index : m_faults.storedBadChecksum)
            if (index >= 0 && index < records)
                frames[index][frames[index].size() - 2] = char(frames[index][frames[index].size() - 2] ^ 0xFF);
        if (m_faults.storedStreamStopsAfter >= 0)
            frames.resize(std::min(m_faults.storedStreamStopsAfter, records));
    }

    qint64 delay = m_processingDelayNanos;
    int garbage = 0, extra = 0, keep = -1;
    std::vector<int> strayAfter;
    for (const AnswerFault &fault : m_faults.answers) {
        if (fault.command != request.command || (fault.occurrence != 0 && fault.occurrence != occurrence) ||
            frames.empty())
            continue;
        switch (fault.kind) {
        case AnswerFault::Kind::Silent: frames.clear(); break;
        case AnswerFault::Kind::Late: delay += qint64(fault.delayMs) * 1000000; break;
        case AnswerFault::Kind::BadChecksum: {
            QByteArray &first = frames.front();
            first[first.size() - 2] = char(first[first.size() - 2] ^ 0xFF);
            break;
        }
        case AnswerFault::Kind::BadStx: frames.front()[0] = char(0x00); break;
        case AnswerFault::Kind::BadEtx: frames.back()[frames.back().size() - 1] = char(0x00); break;
        case AnswerFault::Kind::ExtraBytes: extra += fault.bytes; break;
        case AnswerFault::Kind::GarbageBefore: garbage += fault.bytes; break;
        case AnswerFault::Kind::Truncate: keep = keep < 0 ? fault.bytes : std::min(keep, fault.bytes); break;
        case AnswerFault::Kind::StrayByte: strayAfter.push_back(fault.bytes); break;
        }
    }
    if (frames.empty())
        return;

    QByteArray answer;
    for (const QByteArray &frame : frames)
        answer.append(frame);
    // Later positions first, so that each stray byte lands after its count of the answer's own bytes.
    std::sort(strayAfter.rbegin(), strayAfter.rend());
    for (int after : strayAfter)
        answer.insert(std::min<qsizetype>(after, answer.size()), char(FRAME_STX));
    QByteArray bytes = Noise(garbage) + answer;
    bytes.append(Noise(extra));
    if (keep >= 0)
        bytes.truncate(keep);

    const qint64 byteTime = ByteTimeNanos(kInstrumentBaudRate);
    qint64 at = std::max(atNanos + delay, m_instrumentTxFreeNanos);
    for (char byte : bytes) {
        at += byteTime;
        m_toHost.push_back({uint8_t(byte), at});
    }
    m_instrumentTxFreeNanos = at;
}
