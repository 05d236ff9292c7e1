#include "Clock.h"

#include <QDateTime>
#include <QThread>

#include <chrono>

void Waker::Notify()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_epoch.fetch_add(1);
    }
    m_changed.notify_all();
}

qint64 SystemClock::Now() const
{
    return QDateTime::currentSecsSinceEpoch();
}

qint64 SystemClock::NowAt(qint64 monotonicMicros) const
{
    const qint64 offsetMillis = (monotonicMicros - MonotonicMicros()) / 1000;
    return (QDateTime::currentMSecsSinceEpoch() + offsetMillis) / 1000;
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

void SystemClock::WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch)
{
    const std::chrono::steady_clock::time_point deadline{std::chrono::microseconds(deadlineMicros)};
    std::unique_lock<std::mutex> lock(waker.m_mutex);
    waker.m_changed.wait_until(lock, deadline, [&] { return waker.m_epoch.load() != seenEpoch; });
}

VirtualClock::VirtualClock(qint64 startEpochSeconds) : m_startEpochSeconds(startEpochSeconds) {}

qint64 VirtualClock::Now() const
{
    return NowAt(m_micros.load());
}

qint64 VirtualClock::NowAt(qint64 monotonicMicros) const
{
    return m_startEpochSeconds.load() + monotonicMicros / 1000000;
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

void VirtualClock::WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch)
{
    if (waker.Epoch() != seenEpoch)
        return;
    qint64 now = m_micros.load();
    while (now < deadlineMicros && !m_micros.compare_exchange_weak(now, deadlineMicros)) {
    }
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
