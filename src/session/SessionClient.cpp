#include "SessionClient.h"

#include "SessionHost.h"

#include <utility>

SessionClient::SessionClient(SessionHost &host, QObject *parent) : QObject(parent), m_host(host) {}

SessionClient::~SessionClient()
{
    Cancel();
}

JobId SessionClient::Submit(const Job &job, std::function<void(const JobResult &)> then)
{
    if (m_current)
        return 0;
    m_current = m_host.Submit(this, job);
    m_kind = job.kind;
    m_then = std::move(then);
    return m_current;
}

void SessionClient::Cancel()
{
    m_host.Cancel(m_current);
}

void SessionClient::DeliverStarted(JobId id)
{
    if (id == m_current)
        emit jobStarted(id, m_kind);
}

void SessionClient::DeliverRecords(const RecordBatch &batch)
{
    if (batch.job == m_current)
        emit recordsArrived(batch);
}

void SessionClient::DeliverProgress(JobId id, int position, const QString &caption)
{
    if (id == m_current)
        emit progress(id, position, caption);
}

void SessionClient::DeliverFinished(const JobResult &result)
{
    if (result.id != m_current)
        return;
    m_current = 0;
    const std::function<void(const JobResult &)> then = std::exchange(m_then, nullptr);
    emit jobFinished(result);
    if (then)
        then(result);
}
