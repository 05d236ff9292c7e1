#include "JobContext.h"

#include "CFt260.h"
#include "ResultCodes.h"

JobContext::JobContext(CFt260 &link, JobResult &result, std::function<void(int, const QString &)> progress)
    : m_link(link), m_result(result), m_progress(std::move(progress))
{
}

Clock &JobContext::GetClock()
{
    return m_link.GetClock();
}

bool JobContext::Cancelled() const
{
    return m_link.CancelRequested();
}

void JobContext::Progress(int position, const QString &caption)
{
    if (m_progress)
        m_progress(position, caption);
}

LinkTrace JobContext::Trace() const
{
    const auto bytes = [](const uint8_t *buffer, int count) {
        return QByteArray(reinterpret_cast<const char *>(buffer), qBound(0, count, int(CFt260::kBufferSize)));
    };
    return {bytes(m_link.m_txBuf, m_link.m_txLen), m_link.m_tLastWrite, bytes(m_link.m_rxBuf, m_link.m_rxLen),
            m_link.m_tLastRead, m_link.m_nResult};
}

ExchangeOutcome JobContext::Exchange(const ExchangeStep &step)
{
    uint8_t response[CFt260::kResponseAreaSize] = {};
    const auto *data = reinterpret_cast<const uint8_t *>(step.data.constData());
    const int n = int(step.data.size());
    const int code = step.longFrame ? m_link.TransactLong(step.command, data, n, response)
                                    : m_link.Transact(step.command, data, n, response);
    ExchangeOutcome outcome{step.command, code,
                            QByteArray(reinterpret_cast<const char *>(response), CFt260::kResponseAreaSize), Trace()};
    m_result.exchanges.append(outcome);
    m_result.trace = outcome.trace;
    m_result.code = code < 0 ? code : 0;
    return outcome;
}

void JobContext::RunScript(const QList<ExchangeStep> &steps)
{
    int failure = 0;
    for (const ExchangeStep &step : steps) {
        if (Cancelled()) {
            failure = RESULT_CANCELLED;
            break;
        }
        const ExchangeOutcome outcome = Exchange(step);
        if (outcome.code < 0 && !step.optional) {
            failure = outcome.code;
            break;
        }
    }
    m_result.code = failure;
}
