#pragma once

#include <QString>

class MeasurementArchive;

struct SyncResult {
    int sent = 0;
    int failed = 0; // downloads still waiting
    QString error;  // Korean reason of the first failure
};

// Sends every download the station's own archive keeps for `server` (downloads made while the server
// could not be reached, or the part of one after the server went away), one transaction each, and marks
// each sent only after the server committed it. Safe to repeat: what the server already has stays once.
SyncResult SendPendingDownloads(MeasurementArchive &local, MeasurementArchive &server);
