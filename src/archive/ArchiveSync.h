#pragma once

#include "MeasurementArchive.h"

#include <QList>
#include <QString>

// A download that still waits for the server after a sync, and why.
struct WaitingDownload {
    qint64 id = 0;
    QString reason; // Korean, for the operator
    QString detail; // the server's own text, when it refused the download
};

struct SyncResult {
    int sent = 0;
    QList<WaitingDownload> waiting;
    QList<qint64> sentIds;
    QList<WaitingDownload> newlyRefused; // refused this time for a reason not told before
    int forOtherArchive = 0;             // waiting for a server archive other than this one
    bool serverLost = false;             // the server went away during the sync: the rest waits for the next
    QString error;                       // Korean reason when the station's own file could not be read
};

// Sends every download the station's own archive keeps for `server`'s archive (downloads made while the
// server could not be reached, or the part of one after the server went away), one transaction each.
// A download is marked sent only once it is final and unchanged since it was read; one written again
// later is queued again by its writer, and the sync goes round until a pass finds nothing new. A
// download the server refuses keeps the server's reason and waits; the others go on. Downloads that wait
// for another server archive (the location now names a different one) are left and told. Safe to run at
// any moment and from several processes: the server keeps every record once.
SyncResult SendPendingDownloads(MeasurementArchive &local, MeasurementArchive &server);
