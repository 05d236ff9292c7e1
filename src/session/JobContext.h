#pragma once

#include "SessionTypes.h"

#include <functional>

// What a job sees while it runs on the session thread: the link, its clock, the result it fills in,
// and a way to report progress steps to the window that submitted it.
class JobContext {
  public:
    JobContext(CFt260 &link, JobResult &result, std::function<void(int, const QString &)> progress);

    CFt260 &Link() { return m_link; }
    Clock &GetClock();
    JobResult &Result() { return m_result; }
    // The operator asked to stop this job.
    bool Cancelled() const;
    void Progress(int position, const QString &caption);

    // One exchange; its outcome is added to the result and becomes the result's code and trace.
    ExchangeOutcome Exchange(const ExchangeStep &step);
    // The steps in order, stopping at the first required step that fails or when cancelled; the
    // result's code is that of the failing required step (0 when every required step succeeded).
    void RunScript(const QList<ExchangeStep> &steps);
    LinkTrace Trace() const;

  private:
    CFt260 &m_link;
    JobResult &m_result;
    std::function<void(int, const QString &)> m_progress;
};
