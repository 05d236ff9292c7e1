#include "LinkSession.h"

#include "CFt260.h"
#include "Clock.h"
#include "JobContext.h"
#include "ResultCodes.h"

#include <QThread>

LinkSession::LinkSession(Ft260Device &device, DeviceDiscovery &discovery, Clock &clock)
    : m_owner(
          clock, [this](const RecordBatch &batch) { emit recordsArrived(batch); },
          [this](const PacketBatch &packets) { emit packetsArrived(packets); }),
      m_link(std::make_unique<CFt260>(device, discovery, clock, &m_owner))
{
}

LinkSession::~LinkSession() = default;

void LinkSession::SetRecordObserver(LinkOwner *observer)
{
    m_owner.SetObserver(observer);
}

void LinkSession::Cancel(JobId id)
{
    std::lock_guard<std::mutex> lock(m_cancelLock);
    if (id == m_running && m_link)
        m_link->RequestCancel();
    else
        m_cancelled.insert(id);
}

void LinkSession::Stop()
{
    std::lock_guard<std::mutex> lock(m_cancelLock);
    m_stopping.store(true);
    if (m_running && m_link)
        m_link->RequestCancel();
}

void LinkSession::Run(JobId id, const Job &job)
{
    if (m_stopping.load() || !m_link)
        return;
    bool cancelledEarly = false;
    {
        std::lock_guard<std::mutex> lock(m_cancelLock);
        m_running = id;
        m_link->ClearCancel();
        cancelledEarly = m_cancelled.remove(id);
    }
    emit jobStarted(id);

    JobResult result;
    result.id = id;
    result.kind = job.kind;
    result.sheet = job.sheet;
    result.moment = m_link->GetClock().Now();
    m_owner.BeginJob(id, job.sheet);
    JobContext context(*m_link, result,
                       [this, id](int position, const QString &caption) { emit progress(id, position, caption); });
    if (cancelledEarly)
        result.code = RESULT_CANCELLED; // nothing went over the wire
    else if (job.run)
        job.run(context);
    if (result.rows == 0)
        result.rows = m_owner.RowsHandedOver();
    result.announced = m_owner.Announced();
    result.text = ResultText(result.code);
    // After a failure the bridge may have gone: say so with the job's end, not a poll later.
    if (result.code < 0 && job.kind != Job::Presence)
        result.present = !m_link->FindDevice().isEmpty();
    m_owner.Flush();
    {
        std::lock_guard<std::mutex> lock(m_cancelLock);
        m_running = 0;
        m_link->ClearCancel();
    }
    emit jobFinished(result);
}

void LinkSession::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_cancelLock);
        m_stopping.store(true);
        m_link.reset();
    }
    QThread::currentThread()->quit();
}
