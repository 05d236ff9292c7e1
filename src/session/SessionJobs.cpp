#include "SessionJobs.h"

#include "CFt260.h"
#include "Clock.h"
#include "InstrumentClock.h"
#include "JobContext.h"
#include "ResultCodes.h"

namespace SessionJobs {

namespace {

void RunStored(JobContext &context, qint64 startDate, qint64 endDate)
{
    int rows = 0;
    CFt260 &link = context.Link();
    context.Result().code = link.DownloadStoredRecords(startDate, endDate, &rows);
    context.Result().rows = rows;
    context.Result().damaged = link.DamagedRecordCount();
    context.Result().trace = context.Trace();
}

void RunContinuous(JobContext &context)
{
    CFt260 &link = context.Link();
    context.Result().code = link.DownloadContinuousRecords();
    context.Result().damaged = link.DamagedRecordCount();
    context.Result().trace = context.Trace();
}

} // namespace

Job Open()
{
    Job job;
    job.run = [](JobContext &context) {
        CFt260 &link = context.Link();
        link.FindDevice();
        if (!link.EnsureOpen())
            context.Result().code = link.m_nResult < 0 ? link.m_nResult : RESULT_OPEN_FAILED;
    };
    return job;
}

Job Identity()
{
    Job job;
    job.kind = Job::Exchanges;
    job.run = [](JobContext &context) { ReadIdentity(context); };
    return job;
}

void ReadIdentity(JobContext &context, const InstrumentIdentity &known)
{
    SilenceWatch silence;
    for (size_t i = 0; i < kIdentityFields.size() && !context.Cancelled(); ++i) {
        if (!known.texts[i].isNull())
            continue;
        if (silence.Silent(
                context.Exchange(ExchangeStep{kIdentityFields[i].readCommand, QByteArray(1, '\0'), true}).code))
            break;
    }
}

InstrumentIdentity IdentityFromExchanges(const QList<ExchangeOutcome> &exchanges)
{
    InstrumentIdentity identity;
    for (const ExchangeOutcome &outcome : exchanges) {
        const int index = IdentityFieldIndex(outcome.command);
        if (index >= 0 && outcome.code >= 0)
            identity.SetFromAnswer(index, reinterpret_cast<const uint8_t *>(outcome.response.constData()),
                                   CFt260::kResponseAreaSize);
    }
    return identity;
}

Job Presence()
{
    Job job;
    job.kind = Job::Presence;
    job.userJob = false;
    job.run = [](JobContext &context) { context.Result().present = !context.Link().FindDevice().isEmpty(); };
    return job;
}

Job Script(const QList<ExchangeStep> &steps)
{
    Job job;
    job.kind = Job::Exchanges;
    job.run = [steps](JobContext &context) { context.RunScript(steps); };
    return job;
}

Job Read(uint8_t command)
{
    return Script({ExchangeStep{command, QByteArray(1, '\0')}});
}

Job Write(uint8_t command, const QByteArray &data)
{
    return Script({ExchangeStep{command, data}});
}

Job StoredDownload(qint64 startDate, qint64 endDate, int sheet)
{
    Job job;
    job.kind = Job::StoredDownload;
    job.sheet = sheet;
    job.run = [startDate, endDate](JobContext &context) { RunStored(context, startDate, endDate); };
    return job;
}

Job ContinuousDownload(int sheet)
{
    Job job;
    job.kind = Job::ContinuousDownload;
    job.sheet = sheet;
    job.run = [](JobContext &context) { RunContinuous(context); };
    return job;
}

Job Connect(const QList<ExchangeStep> &identity, bool continuous, int sheet, std::function<QString()> advice,
            std::function<void(JobContext &)> beforeDownload)
{
    Job job;
    job.kind = Job::Connect;
    job.sheet = sheet;
    job.run = [identity, continuous, advice, beforeDownload](JobContext &context) {
        CFt260 &link = context.Link();
        if (!link.EnsureOpen()) {
            context.Result().code = link.m_nResult < 0 ? link.m_nResult : RESULT_OPEN_FAILED;
            context.Result().nothingSent = true;
            if (advice)
                context.Result().advice = advice();
            return;
        }
        // An instrument that does not answer is told at once: once it is silent the connect ends with that
        // result, without a query that could only time out as well.
        SilenceWatch silence;
        for (const ExchangeStep &step : identity) {
            if (context.Cancelled())
                break;
            if (silence.Silent(context.Exchange(step).code))
                return;
        }
        // The identity reads fill what they can; the download's outcome is the job's.
        const qint64 today = context.Result().moment;
        if (beforeDownload)
            beforeDownload(context);
        if (continuous)
            RunContinuous(context);
        else
            RunStored(context, today, today);
    };
    return job;
}

Job SetClockNow(const QString &telephone)
{
    Job job;
    job.kind = Job::SetClock;
    job.run = [telephone](JobContext &context) {
        const auto payload = InstrumentClock::SetClockPayloadAt(context.GetClock().Now(), telephone);
        if (!payload) {
            context.Result().nothingSent = true;
            return;
        }
        context.Exchange(ExchangeStep{
            CMD_SET_CLOCK, QByteArray(reinterpret_cast<const char *>(payload->data()), int(payload->size()))});
    };
    return job;
}

} // namespace SessionJobs
