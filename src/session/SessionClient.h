#pragma once

#include "SessionTypes.h"

#include <QObject>

#include <functional>

class SessionHost;

// One window's handle on the instrument session: at most one job at a time, and only that job's
// records, progress and end reach it (batches of an earlier job are dropped).
class SessionClient : public QObject {
    Q_OBJECT
  public:
    explicit SessionClient(SessionHost &host, QObject *parent = nullptr);
    ~SessionClient() override;

    // Hands the job to the session; 0 (and nothing done) while a job of this client is outstanding.
    // `then`, when given, runs with the job's result right after jobFinished has been emitted.
    JobId Submit(const Job &job, std::function<void(const JobResult &)> then = {});
    // Asks the current job to stop after its current frame; thread-safe on the session side.
    void Cancel();
    bool Busy() const { return m_current != 0; }
    JobId Current() const { return m_current; }
    SessionHost &Host() const { return m_host; }

  signals:
    void jobStarted(JobId id, int kind);
    void recordsArrived(const RecordBatch &batch);
    void progress(JobId id, int position, const QString &caption);
    // After the job's last batch; the client is no longer busy when this is emitted.
    void jobFinished(const JobResult &result);

  private:
    friend class SessionHost;
    void DeliverStarted(JobId id);
    void DeliverRecords(const RecordBatch &batch);
    void DeliverProgress(JobId id, int position, const QString &caption);
    void DeliverFinished(const JobResult &result);

    SessionHost &m_host;
    JobId m_current = 0;
    int m_kind = 0;
    std::function<void(const JobResult &)> m_then;
};
