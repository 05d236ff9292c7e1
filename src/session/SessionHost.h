#pragma once

#include "SessionTypes.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

class Clock;
class DeviceDiscovery;
class Ft260Device;
class LinkOwner;
class LinkSession;
class Mailbox;
class QThread;
class SessionClient;

// The window side of the instrument session: starts the session thread with the link on it for the
// program's life, hands jobs over and routes what comes back to the client that submitted the job.
// Lives on the window's thread. Jobs travel to the session thread and everything the session tells
// travels back through mailboxes (Mailbox), never as arguments of queued calls.
//
//     SessionHost host(device, discovery, clock);
//     SessionClient client(host);
//     connect(&client, &SessionClient::jobFinished, ...);
//     client.Submit(SessionJobs::ReadClock());
class SessionHost : public QObject {
    Q_OBJECT
  public:
    // How long shutting down waits for a running job: one long exchange's time-out and some.
    static constexpr int kShutdownWaitMs = 7000;

    SessionHost(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, QObject *parent = nullptr);
    ~SessionHost() override;

    // Starts a presence poll unless one is outstanding; false when one is.
    bool PollPresence();
    bool Present() const { return m_present; }
    // The clock the session runs on, for showing the time; only the session moves a virtual one.
    Clock &GetClock() const { return m_clock; }
    // No job of any client and no presence poll outstanding.
    bool Idle() const { return m_owners.isEmpty() && m_presenceJob == 0; }
    // Every record and packet of every job also goes to observer, on the session thread, as the link
    // hands it over. Takes effect before the next job; the observer must outlive this host.
    void SetRecordObserver(LinkOwner *observer);
    // Asks job `id` to stop after its current frame or exchange (before it starts, it ends at once).
    // Safe from any thread, also from an observer on the session thread.
    void Cancel(JobId id);
    // Cancels the running job, skips the queued ones, waits at most kShutdownWaitMs for the session
    // to close the link, and ends its thread. Idempotent; the destructor calls it.
    void Shutdown();

  signals:
    void presenceChanged(bool present);
    void packetsArrived(const PacketBatch &packets);
    // Every outstanding job has finished.
    void idle();

  private:
    friend class SessionClient;
    JobId Submit(SessionClient *client, const Job &job);

    void OnJobStarted(JobId id);
    void OnRecords(const RecordBatch &batch);
    void OnProgress(JobId id, int position, const QString &caption);
    void OnFinished(const JobResult &result);
    void SetPresent(bool present);

    QThread *m_thread = nullptr;
    std::atomic<LinkSession *> m_session{nullptr};
    Mailbox *m_inbox = nullptr;          // on the session thread: jobs and settings for the session
    Mailbox *m_outbox = nullptr;         // on this thread: what the session tells
    std::shared_ptr<Mailbox> m_releases; // on this thread: jobs that have run, to be destroyed here
    // Set by the session thread as its last act, read once it has ended: orders everything it did
    // before what this thread does with the session afterwards (QThread::wait alone does not, to a
    // thread checker).
    std::atomic<bool> m_threadEnded{false};
    QHash<JobId, QPointer<SessionClient>> m_owners;
    JobId m_nextId = 1;
    JobId m_presenceJob = 0;
    bool m_present = false;
    Clock &m_clock;
};
