#include "ArchiveSync.h"

#include "MeasurementArchive.h"

SyncResult SendPendingDownloads(MeasurementArchive &local, MeasurementArchive &server)
{
    SyncResult result;
    const QString serverName = server.Location().Describe();
    const std::optional<QList<qint64>> pending = local.PendingDownloads(serverName);
    if (!pending) {
        result.error = local.LastError().Reason();
        return result;
    }
    for (qint64 id : *pending) {
        const std::optional<ArchivedDownload> download = local.LoadDownload(id);
        if (!download) {
            ++result.failed;
            if (result.error.isEmpty())
                result.error = local.LastError().Reason();
            continue;
        }
        if (!server.ImportDownload(*download)) {
            result.failed += int(pending->size()) - result.sent - result.failed;
            result.error = server.LastError().Reason();
            return result; // the server went away again: the rest waits for the next time
        }
        if (local.MarkSent(id))
            ++result.sent;
        else
            ++result.failed;
    }
    return result;
}
