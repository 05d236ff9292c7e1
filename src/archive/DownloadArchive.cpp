#include "DownloadArchive.h"

#include "Clock.h"
#include "InstrumentIdentity.h"
#include "JobContext.h"
#include "Mailbox.h"
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
        self->Finish(context.Result().code, context.Result().damaged, context.GetClock().Now());
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
    if (!m_owner)
        m_owner = std::make_unique<ArchivingLinkOwner>(m_discard, *m_settings);
    m_owner->BeginDownload(start);
    m_downloading = true;
}

void DownloadArchive::Finish(int code, int damaged, qint64 now)
{
    if (!std::exchange(m_downloading, false))
        return;
    // The owner, and so the archive thread that calls this, goes before the rest of this object.
    m_owner->FinishDownload(code, m_rows, now, damaged, [this](const ArchiveOutcome &archived) {
        const std::lock_guard lock(m_tellLock);
        if (m_tellMailbox && m_tell)
            m_tellMailbox->Post([show = m_tell, archived] { show(archived); });
    });
}

void DownloadArchive::TellOutcomes(Mailbox *mailbox, std::function<void(const ArchiveOutcome &)> show)
{
    const std::lock_guard lock(m_tellLock);
    m_tellMailbox = mailbox;
    m_tell = std::move(show);
}

ArchiveOutcome DownloadArchive::WaitForArchive()
{
    return m_owner ? m_owner->WaitForArchive() : ArchiveOutcome{};
}

void DownloadArchive::AddStoredRecordRow(int index, const uint8_t *record)
{
    if (!m_downloading)
        return;
    ++m_rows;
    m_owner->AddStoredRecordRow(index, record);
}

void DownloadArchive::SetContinuousSummary(const uint8_t *summary)
{
    if (m_downloading)
        m_owner->SetContinuousSummary(summary);
}

void DownloadArchive::AddContinuousRecordRow(int index, const uint8_t *record)
{
    if (!m_downloading)
        return;
    ++m_rows;
    m_owner->AddContinuousRecordRow(index, record);
}
