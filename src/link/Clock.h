#pragma once

#include <QtGlobal>

#include <atomic>

// Where time enters the program. The link sleeps and stamps its exchanges through a Clock, and the
// simulated bridge times the bytes on the line with the same one, so that tests can run a 2.5 s
// time-out on a virtual clock in no real time.
class Clock {
  public:
    virtual ~Clock() = default;
    // Wall-clock seconds since 1970 (UTC), as _time64 gives them.
    virtual qint64 Now() const = 0;
    // A monotonic count of microseconds, for timing bytes on the line.
    virtual qint64 MonotonicMicros() const = 0;
    virtual void Sleep(int milliseconds) = 0;
};

// The PC's own clock; Sleep really sleeps.
class SystemClock final : public Clock {
  public:
    qint64 Now() const override;
    qint64 MonotonicMicros() const override;
    void Sleep(int milliseconds) override;
};

// A clock that only moves when somebody sleeps on it or advances it. Thread-safe, so that a test's
// reader thread may look at it.
class VirtualClock final : public Clock {
  public:
    // startEpochSeconds: the wall-clock time the clock shows at monotonic time 0.
    explicit VirtualClock(qint64 startEpochSeconds = 1714521600 /* 2024-05-01 00:00 UTC */);

    qint64 Now() const override;
    qint64 MonotonicMicros() const override;
    void Sleep(int milliseconds) override;

    void AdvanceMicros(qint64 micros);
    void SetNow(qint64 epochSeconds);

  private:
    std::atomic<qint64> m_startEpochSeconds;
    std::atomic<qint64> m_micros{0};
};
