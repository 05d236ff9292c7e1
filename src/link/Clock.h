#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Wakes a thread that waits on a Clock. Any thread may Notify (the HID reader when bytes come in, the
// simulated line on an unplug, an operator's cancel). The waiter reads Epoch before it looks at what
// it waits for and hands that epoch to Clock::WaitUntil, so a notification that comes between the look
// and the wait is never lost.
class Waker {
  public:
    void Notify();
    quint64 Epoch() const { return m_epoch.load(); }

  private:
    friend class SystemClock;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<quint64> m_epoch{0};
};

// Where time enters the program. The link waits and stamps its exchanges through a Clock, and the
// simulated bridge times the bytes on the line with the same one, so that tests can run a 2.5 s
// time-out on a virtual clock in no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    // Wall-clock seconds since 1970 (UTC), as _time64 gives them.
    virtual qint64 Now() const = 0;
    // The wall-clock seconds at an earlier or later moment of MonotonicMicros.
    virtual qint64 NowAt(qint64 monotonicMicros) const = 0;
    // A monotonic count of microseconds, for timing bytes on the line and for deadlines.
    virtual qint64 MonotonicMicros() const = 0;
    virtual void Sleep(int milliseconds) = 0;
    // Returns once MonotonicMicros has reached deadlineMicros, or earlier once the waker's epoch is no
    // longer seenEpoch (at once when it has already moved).
    virtual void WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch) = 0;
};

// The PC's own clock; Sleep really sleeps and WaitUntil really waits.
class SystemClock final : public Clock {
  public:
    qint64 Now() const override;
    qint64 NowAt(qint64 monotonicMicros) const override;
    qint64 MonotonicMicros() const override;
    void Sleep(int milliseconds) override;
    void WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch) override;
};

// A clock that only moves when somebody sleeps on it, waits on it or advances it. Thread-safe, so that a
// test's reader thread may look at it; only one thread should move it at a time.
class VirtualClock final : public Clock {
  public:
    // startEpochSeconds: the wall-clock time the clock shows at monotonic time 0.
    explicit VirtualClock(qint64 startEpochSeconds = 1714521600 /* 2024-05-01 00:00 UTC */);

    qint64 Now() const override;
    qint64 NowAt(qint64 monotonicMicros) const override;
    qint64 MonotonicMicros() const override;
    // Moves the clock on by the given time.
    void Sleep(int milliseconds) override;
    // Nothing else runs while the clock stands still, so the wait ends at once: where the epoch moved,
    // without moving the clock, otherwise at the deadline (never behind the present moment).
    void WaitUntil(qint64 deadlineMicros, Waker &waker, quint64 seenEpoch) override;

    void AdvanceMicros(qint64 micros);
    void SetNow(qint64 epochSeconds);

  private:
    std::atomic<qint64> m_startEpochSeconds;
    std::atomic<qint64> m_micros{0};
};
