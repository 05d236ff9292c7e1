#include "DownloadArchive.h"

#include "CFt260.h"
#include "Clock.h"
#include "InstrumentIdentity.h"
#include "JobContext.h"
#include "ResultCodes.h"
#include "SessionJobs.h"

DownloadArchive::DownloadArchive(std::optional<ArchiveSettings> settings) : m_settings(std::move(settings)) {}

DownloadArchive::~DownloadArchive() = default;

std::optional<ArchiveSettings> DownloadArchive::SettingsFor(const QString &iniPath, QString *error)
{
    // Without a configuration file there is no folder the archive belongs in.
    if (iniPath.isEmpty())
        return std::nullopt;
    std::optional<ArchiveSettings> settings = ConfiguredArchiveSettings(iniPath, QString(), error);
    if (settings && !settings->enabled)
        return std::nullopt;
    return settings;
}

Job DownloadArchive::Archived(const Job &job, const DownloadStart &start)
{
    if (!m_settings)
        return job;
    Job archived = Finished(job);
    archived.run = [self = shared_from_this(), start, run = archived.run](JobContext &context) {
        DownloadStart filed = start;
        SessionJobs::ReadIdentity(context, filed.identity);
        const InstrumentIdentity read = SessionJobs::IdentityFromExchanges(context.Result().exchanges);
        for (size_t i = 0; i < kIdentityFields.size(); ++i) {
            if (filed.identity.texts[i].isNull()) {
                filed.identity.texts[i] = read.texts[i];
                filed.identity.bytes[i] = read.bytes[i];
            }
        }
        self->Begin(filed, context.Result().moment);
        run(context);
    };
    return archived;
}

Job DownloadArchive::Finished(const Job &job)
{
    if (!m_settings)
        return job;
    Job finished = job;
    finished.run = [self = shared_from_this(), run = job.run](JobContext &context) {
        if (run)
            run(context);
        context.Result().notices = self->Finish(context.Result().code, context.Result().damaged,
                                                context.GetClock().Now(), &context.Result().archiveTexts);
    };
    return finished;
}

std::function<void(JobContext &)> DownloadArchive::BeginAfterIdentity(const DownloadStart &start)
{
    if (!m_settings)
        return {};
    return [self = shared_from_this(), start](JobContext &context) {
        DownloadStart filed = start;
        filed.identity = SessionJobs::IdentityFromExchanges(context.Result().exchanges);
        self->Begin(filed, context.Result().moment);
    };
}

void DownloadArchive::Begin(DownloadStart start, qint64 moment)
{
    start.host = StationHostName();
    start.osUser = StationOsUser();
    start.startedAt = moment;
    m_rows = 0;
    m_owner = std::make_unique<ArchivingLinkOwner>(m_discard, *m_settings);
    m_owner->BeginDownload(start);
}

QStringList DownloadArchive::Finish(int code, int damaged, qint64 now, QStringList *databaseTexts)
{
    if (!m_owner)
        return {};
    m_owner->FinishDownload(code, m_rows, now, damaged);
    *databaseTexts = m_owner->DatabaseTexts();
    QStringList notices = m_owner->TakeNotices();
    m_owner.reset();
    return notices;
}

void DownloadArchive::AddStoredRecordRow(int index, const uint8_t *record)
{
    if (!m_owner)
        return;
    ++m_rows;
    m_owner->AddStoredRecordRow(index, record);
}

void DownloadArchive::SetContinuousSummary(const uint8_t *summary)
{
    if (m_owner)
        m_owner->SetContinuousSummary(summary);
}

void DownloadArchive::AddContinuousRecordRow(int index, const uint8_t *record)
{
    if (!m_owner)
        return;
    ++m_rows;
    m_owner->AddContinuousRecordRow(index, record);
}
