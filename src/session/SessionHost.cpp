#include "SessionHost.h"

#include "LinkSession.h"
#include "Mailbox.h"
#include "SessionClient.h"
#include "SessionJobs.h"

#include <QDeadlineTimer>
#include <QThread>

SessionHost::SessionHost(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock, QObject *parent)
    : QObject(parent), m_thread(new QThread), m_session(new LinkSession(device, discovery, clock)),
      m_inbox(new Mailbox), m_outbox(new Mailbox(this)),
      m_releases(new Mailbox, [](Mailbox *mailbox) { mailbox->deleteLater(); }), m_clock(clock)
{
    LinkSession *session = m_session.load();
    m_thread->setObjectName(QStringLiteral("instrument session"));
    session->moveToThread(m_thread);
    m_inbox->moveToThread(m_thread);
    // The session's signals are taken on its own thread and their values posted here; the connections
    // are made before the thread starts.
    connect(
        session, &LinkSession::jobStarted, m_outbox,
        [this](JobId id) { m_outbox->Post([this, id] { OnJobStarted(id); }); }, Qt::DirectConnection);
    connect(
        session, &LinkSession::recordsArrived, m_outbox,
        [this](const RecordBatch &batch) { m_outbox->Post([this, batch] { OnRecords(batch); }); },
        Qt::DirectConnection);
    connect(
        session, &LinkSession::packetsArrived, m_outbox,
        [this](const PacketBatch &packets) { m_outbox->Post([this, packets] { emit packetsArrived(packets); }); },
        Qt::DirectConnection);
    connect(
        session, &LinkSession::progress, m_outbox,
        [this](JobId id, int position, const QString &caption) {
            m_outbox->Post([this, id, position, caption] { OnProgress(id, position, caption); });
        },
        Qt::DirectConnection);
    connect(
        session, &LinkSession::jobFinished, m_outbox,
        [this](const JobResult &result) { m_outbox->Post([this, result] { OnFinished(result); }); },
        Qt::DirectConnection);
    connect(
        m_thread, &QThread::finished, m_outbox, [this] { m_threadEnded.store(true, std::memory_order_release); },
        Qt::DirectConnection);
    m_thread->start();
}

SessionHost::~SessionHost()
{
    Shutdown();
}

void SessionHost::Shutdown()
{
    if (!m_thread)
        return;
    LinkSession *session = m_session.exchange(nullptr);
    session->Stop();
    m_inbox->Post([session] { session->Shutdown(); });
    if (m_thread->wait(QDeadlineTimer(kShutdownWaitMs)) && m_threadEnded.load(std::memory_order_acquire)) {
        delete session;
        delete m_inbox;
        delete m_thread;
        // The jobs that ran are let go now: what they hold (the archive whose thread still writes a
        // download) must end before the process does, and tonvale-cli never returns to its event loop.
        m_releases->RunPosted();
    } else {
        // The job did not end in time: the thread and the link are left to the process's end rather
        // than destroyed under the running job.
        qWarning("instrument session did not stop within %d ms", kShutdownWaitMs);
    }
    m_thread = nullptr;
    m_inbox = nullptr;
    m_owners.clear();
    m_presenceJob = 0;
}

void SessionHost::SetRecordObserver(LinkOwner *observer)
{
    LinkSession *session = m_session.load();
    if (!session)
        return;
    m_inbox->Post([session, observer] { session->SetRecordObserver(observer); });
}

JobId SessionHost::Submit(SessionClient *client, const Job &job)
{
    LinkSession *session = m_session.load();
    if (!session)
        return 0;
    const JobId id = m_nextId++;
    if (client)
        m_owners.insert(id, client);
    // What a job captured from a window (a firmware image, a list of steps) is released back on the
    // window's thread, so that its last reference never drops on the session thread while the window
    // drops its own. The release mailbox holds nothing of this host: it may outlive it.
    m_inbox->Post([session, id, held = std::make_shared<Job>(job), releases = m_releases]() mutable {
        session->Run(id, *held);
        releases->Post([released = std::move(held)] {});
    });
    return id;
}

void SessionHost::Cancel(JobId id)
{
    // Shutdown waits for the session thread before it deletes the session, and a cancel from that
    // thread comes from inside a job, which Shutdown's wait outlasts.
    if (LinkSession *session = m_session.load(); session && id)
        session->Cancel(id);
}

bool SessionHost::PollPresence()
{
    if (m_presenceJob || !m_session.load())
        return false;
    m_presenceJob = m_nextId;
    Submit(nullptr, SessionJobs::Presence());
    return true;
}

void SessionHost::SetPresent(bool present)
{
    m_present = present;
    emit presenceChanged(present);
}

void SessionHost::OnJobStarted(JobId id)
{
    if (SessionClient *client = m_owners.value(id))
        client->DeliverStarted(id);
}

void SessionHost::OnRecords(const RecordBatch &batch)
{
    if (SessionClient *client = m_owners.value(batch.job))
        client->DeliverRecords(batch);
}

void SessionHost::OnProgress(JobId id, int position, const QString &caption)
{
    if (SessionClient *client = m_owners.value(id))
        client->DeliverProgress(id, position, caption);
}

void SessionHost::OnFinished(const JobResult &result)
{
    if (result.id == m_presenceJob) {
        m_presenceJob = 0;
        SetPresent(result.present);
    } else if (!result.present) {
        SetPresent(false);
    }
    if (const QPointer<SessionClient> client = m_owners.take(result.id))
        client->DeliverFinished(result);
    if (Idle())
        emit idle();
}
