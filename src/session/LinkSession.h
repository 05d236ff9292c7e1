#pragma once

#include "SessionLinkOwner.h"
#include "SessionTypes.h"

#include <QObject>
#include <QSet>

#include <atomic>
#include <memory>
#include <mutex>

class CFt260;
class Clock;
class DeviceDiscovery;
class Ft260Device;

// The instrument session: owns the link and runs jobs one after another on its own thread. Created on
// the window's thread and moved to the session thread by SessionHost; everything but Cancel and Stop
// runs there. Its signals are the only way results leave the thread.
class LinkSession : public QObject {
    Q_OBJECT
  public:
    LinkSession(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock);
    ~LinkSession() override;

    // Session thread: an extra owner that sees every record and packet as the link hands it over
    // (the measurement archive). It must outlive the session; null removes it.
    void SetRecordObserver(LinkOwner *observer);
    // Session thread: runs one job to its end.
    void Run(JobId id, const Job &job);
    // Session thread: closes the link (joining a bridge's reader thread) and ends the thread's loop.
    void Shutdown();

    // Any thread: asks the job to stop after the frame or exchange it is on; a job not yet started
    // ends as soon as it starts.
    void Cancel(JobId id);
    // Any thread: the running job is cancelled and every later job is skipped.
    void Stop();

  signals:
    void jobStarted(JobId id);
    void recordsArrived(const RecordBatch &batch);
    void packetsArrived(const PacketBatch &packets);
    void progress(JobId id, int position, const QString &caption);
    void jobFinished(const JobResult &result);

  private:
    SessionLinkOwner m_owner;
    std::unique_ptr<CFt260> m_link;
    std::mutex m_cancelLock;
    JobId m_running = 0;
    QSet<JobId> m_cancelled;
    std::atomic<bool> m_stopping{false};
};
