#include "DownloadArchive.h"

#include "CFt260.h"
#include "Clock.h"
#include "InstrumentIdentity.h"
#include "JobContext.h"
#include "Mailbox.h"
#include "ResultCodes.h"

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
        ReadMissingIdentity(context, filed.identity);
        self->Begin(filed, context.Result().moment);
        run(context);
    };
    return archived;
}

void DownloadArchive::ReadMissingIdentity(JobContext &context, InstrumentIdentity &identity)
{
    // An instrument that does not answer twice in a row is left to the download to tell.
    int timeoutsInRow = 0;
    for (size_t i = 0; i < kIdentityFields.size() && timeoutsInRow < 2 && !context.Cancelled(); ++i) {
        if (!identity.texts[i].isNull())
            continue;
        const ExchangeOutcome outcome =
            context.Exchange(ExchangeStep{kIdentityFields[i].readCommand, QByteArray(1, '\0'), true});
        timeoutsInRow = outcome.code == RESULT_READ_FAILED ? timeoutsInRow + 1 : 0;
        if (outcome.code >= 0)
            identity.texts[i] = IdentityFromExchanges({outcome}).texts[i];
    }
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
        filed.identity = IdentityFromExchanges(context.Result().exchanges);
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

InstrumentIdentity IdentityFromExchanges(const QList<ExchangeOutcome> &exchanges)
{
    InstrumentIdentity identity;
    for (const ExchangeOutcome &outcome : exchanges) {
        const int index = IdentityFieldIndex(outcome.command);
        if (index < 0 || outcome.code < 0)
            continue;
        const auto *response = reinterpret_cast<const uint8_t *>(outcome.response.constData());
        identity.texts[size_t(index)] =
            IdentityText(kIdentityFields[size_t(index)], response, CFt260::kResponseAreaSize);
        identity.bytes[size_t(index)] = InstrumentIdentity::FieldBytes(response, CFt260::kResponseAreaSize);
    }
    return identity;
}
