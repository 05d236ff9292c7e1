#include "Clock.h"

#include <QDateTime>
#include <QThread>

#include <chrono>

qint64 SystemClock::Now() const
{
    return QDateTime::currentSecsSinceEpoch();
}

qint64 SystemClock::MonotonicMicros() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::Sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

VirtualClock::VirtualClock(qint64 startEpochSeconds) : m_startEpochSeconds(startEpochSeconds) {}

qint64 VirtualClock::Now() const
{
    return m_startEpochSeconds.load() + m_micros.load() / 1000000;
}

qint64 VirtualClock::MonotonicMicros() const
{
    return m_micros.load();
}

void VirtualClock::Sleep(int milliseconds)
{
    if (milliseconds > 0)
        m_micros.fetch_add(qint64(milliseconds) * 1000);
}

void VirtualClock::AdvanceMicros(qint64 micros)
{
    if (micros > 0)
        m_micros.fetch_add(micros);
}

void VirtualClock::SetNow(qint64 epochSeconds)
{
    m_startEpochSeconds.store(epochSeconds - m_micros.load() / 1000000);
}
