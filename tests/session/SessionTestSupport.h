#pragma once

#include "LinkOwner.h"
#include "PacketLogSink.h"
#include "SessionHost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QTest>

#include <atomic>

// Runs the event loop until no job of the session is outstanding; false when that takes longer than
// 10 s (a job that never ends).
inline bool SettleSession(SessionHost &host, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!host.Idle()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    QCoreApplication::processEvents();
    return true;
}

#define SETTLE(host) QVERIFY2(SettleSession(host), "the instrument session did not become idle within 10 s")

// An observer that holds the session thread at a chosen record or packet until the test releases it,
// so that a test on the virtual clock (where a whole download takes no real time) can act while a job
// is under way. Attach with SessionHost::SetRecordObserver before the job.
class SessionGate : public LinkOwner, public PacketLogSink {
  public:
    // Holds at the n-th record (from 1) or the n-th packet (from 1) of what follows; 0: never.
    void HoldAtRecord(int n) { m_holdRecord.store(m_records.load() + n); }
    void HoldAtPacket(int n) { m_holdPacket.store(m_packets.load() + n); }
    // Window thread: runs the event loop until the session thread is held; false after 10 s.
    bool WaitUntilHeld()
    {
        const QDeadlineTimer deadline(10000);
        while (!m_held.load()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
        }
        QCoreApplication::processEvents();
        return true;
    }
    void Release()
    {
        m_held.store(false);
        m_release.release();
    }
    int Records() const { return m_records.load(); }

    PacketLogSink *PacketLog() override { return this; }
    void AddStoredRecordRow(int, const uint8_t *) override { Count(m_records, m_holdRecord); }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override { Count(m_records, m_holdRecord); }
    void AddPacket(int, const uint8_t *, int) override { Count(m_packets, m_holdPacket); }

  private:
    void Count(std::atomic<int> &counter, std::atomic<int> &holdAt)
    {
        if (++counter != holdAt.load())
            return;
        m_held.store(true);
        // Never forever: a test that forgets to release fails on its own wait instead of hanging.
        m_release.tryAcquire(1, 10000);
    }

    std::atomic<int> m_records{0};
    std::atomic<int> m_packets{0};
    std::atomic<int> m_holdRecord{0};
    std::atomic<int> m_holdPacket{0};
    std::atomic<bool> m_held{false};
    QSemaphore m_release;
};
