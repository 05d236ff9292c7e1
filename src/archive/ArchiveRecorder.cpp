#include "ArchiveRecorder.h"

#include "ArchiveSync.h"

#include <algorithm>

namespace {

// A server that went silent is tried again at a download's end only after this long: one that takes the
// connection and never answers would otherwise hold the end up for a second time-out.
constexpr auto kServerRetryPause = std::chrono::seconds(30);

} // namespace

ArchiveRecorder::ArchiveRecorder(ArchiveSettings settings) : m_settings(std::move(settings)) {}

ArchiveRecorder::~ArchiveRecorder() = default;

void ArchiveRecorder::BeginDownload(const DownloadStart &start)
{
    m_begun = true;
    m_start = start;
    m_target = nullptr;
    m_pendingServer.clear();
    m_handle.reset();
    m_kept.clear();
    m_end.reset();
    m_endWritten = false;
    m_rows = m_records = m_archived = 0;
    m_failed = false;
    m_serverError = m_failure = {};
    m_failedLocation.clear();
}

void ArchiveRecorder::Keep(const std::vector<ArchiveItem> &items)
{
    for (const ArchiveItem &item : items) {
        if (item.kind != ArchiveItem::Kind::Summary) {
            ++m_records;
            m_rows = std::max(m_rows, item.position + 1);
        }
    }
    if (!m_failed)
        m_kept.insert(m_kept.end(), items.begin(), items.end());
}

void ArchiveRecorder::EndDownload(int resultCode, int rowCount, qint64 endedAt, int damaged)
{
    m_end = End{resultCode, rowCount, endedAt, damaged};
}

bool ArchiveRecorder::HasWork() const
{
    return m_begun && !m_failed && (!m_handle || !m_kept.empty() || (m_end && !m_endWritten));
}

void ArchiveRecorder::MakePrimary()
{
    if (m_primary)
        return;
    m_primary = std::make_unique<MeasurementArchive>(m_settings.location);
    m_primary->SetServerPatience(m_settings.serverPatience);
}

MeasurementArchive *ArchiveRecorder::OpenPrimary()
{
    MakePrimary();
    if (!m_primary->IsOpen()) {
        if (!m_primary->Open())
            return nullptr;
        m_serverArchiveId = m_primary->ArchiveId();
        // Back in touch with the server: what waited locally goes first. A server lost meanwhile is failed
        // with the sync's reason, not tried again on a dead connection.
        if (SyncToPrimary().serverLost)
            return nullptr;
    }
    return m_primary.get();
}

SyncResult ArchiveRecorder::SyncToPrimary()
{
    if (!m_settings.location.IsServer() || m_settings.local == m_settings.location)
        return {};
    MeasurementArchive local(m_settings.local);
    if (!local.Open(MeasurementArchive::Purpose::Read))
        return {};
    const SyncResult result = SendPendingDownloads(local, *m_primary);
    // Told once: a download refused again for the same reason is not told again.
    for (const WaitingDownload &refused : result.newlyRefused)
        m_syncNotices << QStringLiteral("기록 서버(%1)가 이 PC에 보관된 다운로드(번호 %2)를 받지 않았습니다: %3. 이 "
                                        "다운로드는 이 PC에 남아 기다리고, 다른 다운로드는 보냅니다 "
                                        "(tonvale-cli archive sync로 이유를 볼 수 있습니다).")
                             .arg(m_settings.location.Describe())
                             .arg(refused.id)
                             .arg(refused.reason);
    if (result.forOtherArchive > 0 && !m_otherArchiveTold) {
        m_otherArchiveTold = true;
        m_syncNotices << QStringLiteral(
                             "이 PC에 보관된 다운로드 %1건은 다른 기록 서버 보관소에 보낼 것이라 기록 서버(%2)로 "
                             "보내지 않았습니다. 서버 주소 설정을 확인하십시오 (tonvale-cli archive sync).")
                             .arg(result.forOtherArchive)
                             .arg(m_settings.location.Describe());
    }
    return result;
}

bool ArchiveRecorder::SentAfterAll()
{
    // The server may be back by now (a download takes minutes): what waits, this download too, goes at once.
    if (m_target != m_local.get() || !m_handle || !m_settings.location.IsServer())
        return false;
    if (m_serverSilentAt && std::chrono::steady_clock::now() - *m_serverSilentAt < kServerRetryPause)
        return false;
    const qint64 localId = m_handle->downloadId;
    MakePrimary();
    if (!m_primary->IsOpen() && !m_primary->Open())
        return false;
    return SyncToPrimary().sentIds.contains(localId);
}

ArchiveRecorder::Outcome ArchiveRecorder::Write()
{
    if (m_failed)
        return Outcome::Failed;
    if (!m_target) {
        MeasurementArchive *archive = nullptr;
        if (m_pendingServer.isEmpty()) {
            archive = OpenPrimary();
            m_target = m_primary.get();
        } else {
            if (!m_local)
                m_local = std::make_unique<MeasurementArchive>(m_settings.local);
            archive = m_local->IsOpen() || m_local->Open() ? m_local.get() : nullptr;
            m_target = m_local.get();
        }
        if (!archive) {
            if (m_target->LastError().kind != ArchiveError::Kind::Busy)
                return TargetFailed();
            m_target = nullptr;
            return Outcome::Busy;
        }
    }
    if (!m_handle) {
        // Kept for the server archive last reached at this location, so that another spelling of its
        // address finds it and a location that now names another archive does not take it.
        QString pendingArchive;
        if (!m_pendingServer.isEmpty() && !m_serverArchiveId.isEmpty())
            m_target->RememberServerArchive(m_pendingServer, m_serverArchiveId);
        if (!m_pendingServer.isEmpty())
            pendingArchive = m_target->KnownServerArchive(m_pendingServer).value_or(QString());
        m_handle = m_target->BeginDownload(m_start, m_pendingServer, pendingArchive);
        if (!m_handle)
            return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    }
    if (m_kept.empty() && (!m_end || m_endWritten))
        return Outcome::Written;
    if (!m_target->BeginBatch())
        return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    // The end sets the row count itself.
    const bool written = WriteItems() && (m_end ? m_target->FinishDownload(*m_handle, m_end->endedAt, m_end->resultCode,
                                                                           m_end->rowCount, m_end->damaged)
                                                : m_target->SetRowCount(*m_handle, m_rows));
    if (!written)
        m_target->RollbackBatch();
    if (!written || !m_target->CommitBatch())
        return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    m_archived += int(std::count_if(m_kept.begin(), m_kept.end(),
                                    [](const ArchiveItem &item) { return item.kind != ArchiveItem::Kind::Summary; }));
    m_kept.clear();
    m_endWritten = m_end.has_value();
    if (m_endWritten && m_serverError.kind != ArchiveError::Kind::None && SentAfterAll())
        m_serverError = {}; // the server came back and took it: nothing to tell
    return Outcome::Written;
}

bool ArchiveRecorder::WriteItems()
{
    // Consecutive records of one kind go as one set; the summary on its own.
    std::vector<std::pair<int, RawRecord>> run;
    ArchiveItem::Kind runKind = ArchiveItem::Kind::Stored;
    const auto flush = [&] {
        const bool ok = runKind == ArchiveItem::Kind::Stored ? m_target->AddStoredRecords(*m_handle, run)
                                                             : m_target->AddContinuousRecords(*m_handle, run);
        run.clear();
        return ok;
    };
    for (const ArchiveItem &item : m_kept) {
        if (item.kind != runKind && !run.empty() && !flush())
            return false;
        if (item.kind == ArchiveItem::Kind::Summary) {
            if (!m_target->SetContinuousSummary(*m_handle, item.bytes.data()))
                return false;
            continue;
        }
        runKind = item.kind;
        run.emplace_back(item.position, item.bytes);
    }
    return run.empty() || flush();
}

ArchiveRecorder::Outcome ArchiveRecorder::TargetFailed()
{
    MeasurementArchive *failed = m_target;
    const ArchiveError error = failed->LastError();
    const bool serverFailed = failed == m_primary.get() && m_settings.location.IsServer();
    failed->RollbackBatch();
    failed->Close(); // reopened at the next download
    m_target = nullptr;
    m_handle.reset();
    if (serverFailed) {
        // The whole download not yet committed on the server goes on in the local archive, for the server.
        m_serverError = error;
        if (failed->WentSilent())
            m_serverSilentAt = std::chrono::steady_clock::now();
        m_pendingServer = m_settings.location.Describe();
        return Write();
    }
    GiveUp(error);
    return Outcome::Failed;
}

void ArchiveRecorder::GiveUp(const ArchiveError &why)
{
    m_failed = true;
    m_failure = why;
    m_failedLocation = m_pendingServer.isEmpty() ? m_settings.location.Describe() : m_settings.local.Describe();
    m_kept.clear();
}

QStringList ArchiveRecorder::TakeNotices()
{
    QStringList notices = std::exchange(m_syncNotices, {});
    if (m_failed) {
        const int lost = m_records - m_archived;
        QString what =
            m_records == 0 || m_archived == 0
                ? QStringLiteral("이번 다운로드는 보관되지 않았습니다")
                : QStringLiteral("이번 다운로드의 기록 %1건 중 %2건이 보관되지 않았습니다").arg(m_records).arg(lost);
        if (m_serverError.kind != ArchiveError::Kind::None)
            what += QStringLiteral(" (기록 서버: %1)").arg(m_serverError.Reason());
        notices << QStringLiteral("측정 기록 보관 실패 - %1: %2. %3. 받은 데이터는 그대로 표시됩니다.")
                       .arg(m_failure.Reason(), m_failedLocation, what);
    } else if (m_serverError.kind != ArchiveError::Kind::None) {
        const QString why = m_serverError.kind == ArchiveError::Kind::Unreachable
                                ? QStringLiteral("기록 서버(%1)에 연결할 수 없어").arg(m_settings.location.Describe())
                                : QStringLiteral("기록 서버(%1)에 보관할 수 없어 (%2)")
                                      .arg(m_settings.location.Describe(), m_serverError.Reason());
        notices << QStringLiteral("%1 이번 다운로드를 이 PC의 보관 파일(%2)에 두었습니다. 서버에 다시 연결되면 "
                                  "보냅니다 (tonvale-cli archive sync).")
                       .arg(why, m_settings.local.sqlitePath);
    }
    return notices;
}

QStringList ArchiveRecorder::DatabaseTexts() const
{
    QStringList texts;
    for (const ArchiveError &error : {m_serverError, m_failed ? m_failure : ArchiveError{}})
        // A missing file's detail is only its path, which the notice already names.
        if (!error.detail.trimmed().isEmpty() && error.kind != ArchiveError::Kind::Missing)
            texts << error.detail.simplified();
    return texts;
}
