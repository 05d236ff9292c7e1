#include "ArchiveRecorder.h"

#include "ArchiveSync.h"

#include <algorithm>

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

MeasurementArchive *ArchiveRecorder::OpenPrimary()
{
    if (!m_primary)
        m_primary = std::make_unique<MeasurementArchive>(m_settings.location);
    if (!m_primary->IsOpen()) {
        if (!m_primary->Open())
            return nullptr;
        // Back in touch with the server: what waited locally goes first.
        if (m_settings.location.IsServer() && !(m_settings.local == m_settings.location)) {
            MeasurementArchive local(m_settings.local);
            if (local.Open(MeasurementArchive::Purpose::Read))
                SendPendingDownloads(local, *m_primary);
        }
    }
    return m_primary.get();
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
        m_handle = m_target->BeginDownload(m_start, m_pendingServer);
        if (!m_handle)
            return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    }
    if (m_kept.empty() && (!m_end || m_endWritten))
        return Outcome::Written;
    if (!m_target->BeginBatch())
        return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    // The end sets the row count itself.
    const bool written =
        WriteItems() && (m_end ? m_target->FinishDownload(*m_handle, m_end->endedAt, m_end->resultCode, m_end->rowCount,
                                                      m_end->damaged)
                               : m_target->SetRowCount(*m_handle, m_rows));
    if (!written)
        m_target->RollbackBatch();
    if (!written || !m_target->CommitBatch())
        return m_target->LastError().kind == ArchiveError::Kind::Busy ? Outcome::Busy : TargetFailed();
    m_archived += int(std::count_if(m_kept.begin(), m_kept.end(),
                                    [](const ArchiveItem &item) { return item.kind != ArchiveItem::Kind::Summary; }));
    m_kept.clear();
    m_endWritten = m_end.has_value();
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

QStringList ArchiveRecorder::Notices() const
{
    if (m_failed) {
        const int lost = m_records - m_archived;
        QString what =
            m_records == 0 || m_archived == 0
                ? QStringLiteral("이번 다운로드는 보관되지 않았습니다")
                : QStringLiteral("이번 다운로드의 기록 %1건 중 %2건이 보관되지 않았습니다").arg(m_records).arg(lost);
        if (m_serverError.kind != ArchiveError::Kind::None)
            what += QStringLiteral(" (기록 서버: %1)").arg(m_serverError.Reason());
        return {QStringLiteral("측정 기록 보관 실패 - %1: %2. %3. 받은 데이터는 그대로 표시됩니다.")
                    .arg(m_failure.Reason(), m_failedLocation, what)};
    }
    if (m_serverError.kind != ArchiveError::Kind::None)
        return {QStringLiteral("기록 서버(%1)에 연결할 수 없어 이번 다운로드를 이 PC의 보관 파일(%2)에 "
                               "두었습니다. 서버에 다시 연결되면 보냅니다 (tonvale-cli archive sync).")
                    .arg(m_settings.location.Describe(), m_settings.local.sqlitePath)};
    return {};
}
