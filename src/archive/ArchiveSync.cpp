#include "ArchiveSync.h"

#include <QHash>

namespace {

WaitingDownload Waiting(qint64 id, const ArchiveError &error)
{
    return {id, error.Reason(), error.detail};
}

} // namespace

SyncResult SendPendingDownloads(MeasurementArchive &local, MeasurementArchive &server)
{
    SyncResult result;
    const QString serverName = server.Location().Describe();
    const QString archiveId = server.ArchiveId();
    local.RememberServerArchive(serverName, archiveId);
    // Tried in this run and not to be tried again: refused, unreadable, or still being written.
    QHash<qint64, WaitingDownload> settled;
    // A final download written again while it was sent goes round once more; this bounds the rounds.
    constexpr int kMaxRounds = 16;
    for (int round = 0;; ++round) {
        const std::optional<QList<PendingDownload>> pending = local.PendingDownloads();
        if (!pending) {
            result.error = local.LastError().Reason();
            return result;
        }
        QList<WaitingDownload> waiting;
        bool progress = false;
        result.forOtherArchive = 0;
        for (const PendingDownload &entry : *pending) {
            if (!entry.archiveId.isEmpty() && entry.archiveId != archiveId) {
                ++result.forOtherArchive;
                waiting << WaitingDownload{
                    entry.id,
                    QStringLiteral("다른 기록 서버 보관소(%1, 마지막 주소 %2)에 보낼 다운로드입니다")
                        .arg(entry.archiveId, entry.location),
                    QString()};
                continue;
            }
            if (result.serverLost) {
                waiting << Waiting(entry.id, server.LastError());
                continue;
            }
            if (settled.contains(entry.id) || round == kMaxRounds) {
                waiting << settled.value(entry.id, {entry.id, QStringLiteral("아직 받고 있는 다운로드입니다"), {}});
                continue;
            }
            progress = true;
            const std::optional<ArchivedDownload> download = local.LoadDownload(entry.id);
            if (!download) {
                settled.insert(entry.id, Waiting(entry.id, local.LastError()));
                waiting << settled.value(entry.id);
                continue;
            }
            if (!server.ImportDownload(*download)) {
                const ArchiveError &error = server.LastError();
                if (error.ServerLost()) {
                    result.serverLost = true;
                } else {
                    if (error.Reason() != entry.syncError || error.detail != entry.syncErrorDetail)
                        result.newlyRefused << Waiting(entry.id, error);
                    local.MarkRefused(entry.id, error);
                    settled.insert(entry.id, Waiting(entry.id, error));
                }
                waiting << Waiting(entry.id, error);
                continue;
            }
            // A download still being written was sent as far as it came; it is sent again once final.
            if (!entry.final) {
                settled.insert(entry.id, {entry.id, QStringLiteral("아직 받고 있는 다운로드입니다"), {}});
                continue;
            }
            // Marked only when nothing was written to it since it was read; otherwise the next round sends it.
            if (local.MarkSent(entry.id, download->summary.revision)) {
                ++result.sent;
                result.sentIds << entry.id;
            } else if (local.LastError().kind != ArchiveError::Kind::None) {
                settled.insert(entry.id, Waiting(entry.id, local.LastError()));
            }
        }
        result.waiting = waiting;
        if (!progress)
            return result;
    }
}
