#include "ArchivingLinkOwner.h"

#include "ArchiveSync.h"
#include "IniFile.h"
#include "MeasurementRecord.h"

#include <QDateTime>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cstring>

std::optional<ArchiveSettings> ConfiguredArchiveSettings(const QString &iniPath, const QString &databaseUrl,
                                                         QString *error)
{
    ArchiveSettings settings;
    const QString configDir = QFileInfo(iniPath).absolutePath();
    settings.local = DefaultArchiveLocation(configDir);
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    const std::optional<ArchiveLocation> location =
        databaseUrl.isEmpty()
            ? ConfiguredArchiveLocation(ini ? std::optional<QString>(ini->text) : std::nullopt, configDir, error)
            : ParseArchiveLocation(databaseUrl, error);
    if (!location)
        return std::nullopt;
    settings.location = *location;
    return settings;
}

ArchivingLinkOwner::ArchivingLinkOwner(LinkOwner &inner, ArchiveSettings settings)
    : m_inner(inner), m_settings(std::move(settings))
{
}

ArchivingLinkOwner::~ArchivingLinkOwner()
{
    // A download still open stays as far as it was committed: incomplete, without a result.
    if (m_target && m_inBatch)
        CommitBatch();
}

const ArchiveLocation *ArchivingLinkOwner::DownloadLocation() const
{
    return m_target ? &m_target->Location() : nullptr;
}

MeasurementArchive *ArchivingLinkOwner::OpenPrimary()
{
    if (!m_primary)
        m_primary = std::make_unique<MeasurementArchive>(m_settings.location);
    if (!m_primary->IsOpen()) {
        if (!m_primary->Open())
            return nullptr;
        m_serverArchiveId = m_primary->ArchiveId();
        // Back in touch with the server: what waited locally goes first.
        SyncToPrimary();
    }
    return m_primary.get();
}

SyncResult ArchivingLinkOwner::SyncToPrimary()
{
    if (!m_settings.location.IsServer() || m_settings.local == m_settings.location)
        return {};
    MeasurementArchive local(m_settings.local);
    if (!local.Open(MeasurementArchive::Purpose::Read))
        return {};
    const SyncResult result = SendPendingDownloads(local, *m_primary);
    // Told once: a download refused again for the same reason is not told again.
    for (const WaitingDownload &refused : result.newlyRefused)
        m_notices << QStringLiteral("기록 서버(%1)가 이 PC에 보관된 다운로드(번호 %2)를 받지 않았습니다: %3. 이 "
                                    "다운로드는 이 PC에 남아 기다리고, 다른 다운로드는 보냅니다 "
                                    "(tonvale-cli archive sync로 이유를 볼 수 있습니다).")
                         .arg(m_settings.location.Describe())
                         .arg(refused.id)
                         .arg(refused.reason);
    if (result.forOtherArchive > 0 && !m_otherArchiveTold) {
        m_otherArchiveTold = true;
        m_notices << QStringLiteral(
                         "이 PC에 보관된 다운로드 %1건은 다른 기록 서버 보관소에 보낼 것이라 기록 서버(%2)로 "
                         "보내지 않았습니다. 서버 주소 설정을 확인하십시오 (tonvale-cli archive sync).")
                         .arg(result.forOtherArchive)
                         .arg(m_settings.location.Describe());
    }
    return result;
}

bool ArchivingLinkOwner::StartOn(MeasurementArchive &archive, const QString &pendingServer)
{
    // Kept for the server archive last reached at this location, so that another spelling of its address
    // finds it and a location that now names another archive does not take it.
    QString pendingArchive;
    if (!pendingServer.isEmpty() && !m_serverArchiveId.isEmpty())
        archive.RememberServerArchive(pendingServer, m_serverArchiveId);
    if (!pendingServer.isEmpty())
        pendingArchive = archive.KnownServerArchive(pendingServer).value_or(QString());
    const std::optional<DownloadHandle> handle = archive.BeginDownload(m_start, pendingServer, pendingArchive);
    if (!handle)
        return false;
    m_target = &archive;
    m_handle = *handle;
    return true;
}

void ArchivingLinkOwner::BeginDownload(DownloadStart start)
{
    if (m_target && m_inBatch)
        CommitBatch();
    if (start.uid.isEmpty())
        start.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (start.startedAt == 0)
        start.startedAt = QDateTime::currentSecsSinceEpoch();
    m_start = std::move(start);
    m_target = nullptr;
    m_handle = {};
    m_inBatch = false;
    m_batch.clear();
    m_rows = m_records = m_archived = 0;
    m_failed = false;
    m_serverError = m_failure = {};
    m_failedLocation.clear();
    m_notices.clear();
    if (!m_settings.enabled)
        return;
    MeasurementArchive *primary = OpenPrimary();
    if (primary && StartOn(*primary, QString()))
        return;
    m_target = m_primary.get();
    TargetFailed();
}

void ArchivingLinkOwner::TargetFailed()
{
    MeasurementArchive *failed = m_target;
    if (failed && failed->IsOpen())
        failed->RollbackBatch();
    m_inBatch = false;
    const ArchiveError error = failed ? failed->LastError() : ArchiveError{ArchiveError::Kind::Other, QString()};
    const bool serverFailed = failed == m_primary.get() && m_settings.location.IsServer();
    if (failed)
        failed->Close(); // reopened at the next download
    m_target = nullptr;
    if (serverFailed) {
        m_serverError = error;
        if (!m_local)
            m_local = std::make_unique<MeasurementArchive>(m_settings.local);
        if ((m_local->IsOpen() || m_local->Open()) && StartOn(*m_local, m_settings.location.Describe())) {
            const std::vector<Item> replay = std::move(m_batch);
            m_batch.clear();
            for (const Item &item : replay)
                Archive(item);
            return;
        }
        m_failure = m_local->LastError();
        m_failedLocation = m_settings.local.Describe();
    } else {
        m_failure = error;
        m_failedLocation = failed ? failed->Location().Describe() : m_settings.location.Describe();
    }
    m_failed = true;
    m_batch.clear();
}

bool ArchivingLinkOwner::Write(const Item &item)
{
    switch (item.kind) {
    case ItemKind::Stored: return m_target->AddStoredRecord(m_handle, item.position, item.bytes.data());
    case ItemKind::Summary: return m_target->SetContinuousSummary(m_handle, item.bytes.data());
    case ItemKind::Continuous: return m_target->AddContinuousRecord(m_handle, item.position, item.bytes.data());
    }
    return false;
}

void ArchivingLinkOwner::Archive(const Item &item)
{
    if (!m_target)
        return;
    if (!m_inBatch) {
        if (!m_target->BeginBatch()) {
            m_batch.push_back(item);
            TargetFailed();
            return;
        }
        m_inBatch = true;
        m_batchAge.start();
    }
    m_batch.push_back(item);
    if (!Write(item)) {
        TargetFailed();
        return;
    }
    if (int(m_batch.size()) >= m_settings.batchRecords || m_batchAge.elapsed() >= m_settings.batchMilliseconds)
        CommitBatch();
}

bool ArchivingLinkOwner::CommitBatch()
{
    if (!m_target->SetRowCount(m_handle, m_rows) || !m_target->CommitBatch()) {
        TargetFailed();
        return false;
    }
    m_inBatch = false;
    m_archived += int(
        std::count_if(m_batch.begin(), m_batch.end(), [](const Item &item) { return item.kind != ItemKind::Summary; }));
    m_batch.clear();
    return true;
}

void ArchivingLinkOwner::Received(ItemKind kind, int index, const uint8_t *bytes)
{
    Item item{kind, index, {}};
    std::memcpy(item.bytes.data(), bytes, kind == ItemKind::Summary ? kSummarySize : kRecordSize);
    if (kind != ItemKind::Summary) {
        ++m_records;
        m_rows = std::max(m_rows, index + 1);
    }
    Archive(item);
}

void ArchivingLinkOwner::AddStoredRecordRow(int index, const uint8_t *record)
{
    m_inner.AddStoredRecordRow(index, record);
    Received(ItemKind::Stored, index, record);
}

void ArchivingLinkOwner::SetContinuousSummary(const uint8_t *summary)
{
    m_inner.SetContinuousSummary(summary);
    Received(ItemKind::Summary, 0, summary);
}

void ArchivingLinkOwner::AddContinuousRecordRow(int index, const uint8_t *record)
{
    m_inner.AddContinuousRecordRow(index, record);
    Received(ItemKind::Continuous, index, record);
}

void ArchivingLinkOwner::FinishDownload(int resultCode, int rowCount, qint64 endedAt)
{
    if (!m_settings.enabled)
        return;
    // The end goes into the last transaction; if the server fails on it, the local archive takes it.
    for (int attempt = 0; attempt < 2 && m_target; ++attempt) {
        if (!m_inBatch) {
            if (!m_target->BeginBatch()) {
                TargetFailed();
                continue;
            }
            m_inBatch = true;
        }
        if (!m_target->FinishDownload(m_handle, endedAt, resultCode, rowCount)) {
            TargetFailed();
            continue;
        }
        if (CommitBatch())
            break;
    }

    if (m_failed) {
        const int lost = m_records - m_archived;
        QString what =
            m_records == 0 || m_archived == 0
                ? QStringLiteral("이번 다운로드는 보관되지 않았습니다")
                : QStringLiteral("이번 다운로드의 기록 %1건 중 %2건이 보관되지 않았습니다").arg(m_records).arg(lost);
        if (m_serverError.kind != ArchiveError::Kind::None)
            what += QStringLiteral(" (기록 서버: %1)").arg(m_serverError.Reason());
        m_notices << QStringLiteral("측정 기록 보관 실패 - %1: %2. %3. 받은 데이터는 그대로 표시됩니다.")
                         .arg(m_failure.Reason(), m_failedLocation, what);
    } else if (m_serverError.kind != ArchiveError::Kind::None && SentAfterAll()) {
        m_serverError = {}; // the server came back and took it: nothing to tell
    } else if (m_serverError.kind != ArchiveError::Kind::None) {
        const QString why = m_serverError.kind == ArchiveError::Kind::Unreachable
                                ? QStringLiteral("기록 서버(%1)에 연결할 수 없어").arg(m_settings.location.Describe())
                                : QStringLiteral("기록 서버(%1)에 보관할 수 없어 (%2)")
                                      .arg(m_settings.location.Describe(), m_serverError.Reason());
        m_notices << QStringLiteral("%1 이번 다운로드를 이 PC의 보관 파일(%2)에 두었습니다. 서버에 다시 연결되면 "
                                    "보냅니다 (tonvale-cli archive sync).")
                         .arg(why, m_settings.local.sqlitePath);
    }
}

QStringList ArchivingLinkOwner::DatabaseTexts() const
{
    QStringList texts;
    for (const ArchiveError &error : {m_serverError, m_failed ? m_failure : ArchiveError{}})
        // A missing file's detail is only its path, which the notice already names.
        if (!error.detail.trimmed().isEmpty() && error.kind != ArchiveError::Kind::Missing)
            texts << error.detail.simplified();
    return texts;
}

bool ArchivingLinkOwner::SentAfterAll()
{
    // The server may be back by now (a download takes minutes): what waits, this download too, goes at once.
    const qint64 localId = m_handle.downloadId;
    if (m_target != m_local.get() || localId == 0 || !m_settings.location.IsServer())
        return false;
    if (!m_primary)
        m_primary = std::make_unique<MeasurementArchive>(m_settings.location);
    if (!m_primary->Open())
        return false;
    return SyncToPrimary().sentIds.contains(localId);
}

QStringList ArchivingLinkOwner::TakeNotices()
{
    return std::exchange(m_notices, {});
}
