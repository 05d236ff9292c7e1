#pragma once

#include "InstrumentIdentity.h"
#include "RawRecord.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What the archive keeps of the instrument's downloads, as plain values.

enum class DownloadMode { Memory, Output };

QString DownloadModeName(DownloadMode mode); // "MEMORY" / "OUTPUT"
std::optional<DownloadMode> DownloadModeFromName(const QString &name);

// What is known when a download starts.
struct DownloadStart {
    InstrumentIdentity identity;
    DownloadMode mode = DownloadMode::Memory;
    std::optional<qint64> rangeFrom; // seconds since 1970; MEMORY only
    std::optional<qint64> rangeTo;
    QString host;   // the station's host name
    QString osUser; // the operating-system user who ran the download
    qint64 startedAt = 0;
    QString uid; // unique across stations; made by the archive when empty
};

// The station's host name and the user running this process.
QString StationHostName();
QString StationOsUser();

// One line of the download history.
struct DownloadSummary {
    qint64 id = 0;
    QString uid;
    InstrumentIdentity identity;
    QString host;
    QString osUser;
    qint64 startedAt = 0;
    std::optional<qint64> endedAt;
    DownloadMode mode = DownloadMode::Memory;
    std::optional<qint64> rangeFrom;
    std::optional<qint64> rangeTo;
    std::optional<int> resultCode; // none while the download never finished (killed, crashed)
    int rowCount = 0;
    int damaged = 0; // records that arrived damaged and were left out
    bool complete = false;
    int revision = 0; // changes with every write to the download (a station's file)
};

// A download read back from the archive: its summary line and its records as the instrument sent them,
// in the order they arrived (position from 0, as the link numbered them).
struct ArchivedDownload {
    DownloadSummary summary;
    std::vector<std::pair<int, RawRecord>> records;
    std::optional<RawSummary> continuousSummary; // OUTPUT only
};

// The record's time fields as "YYYY-MM-DD HH:MM:SS" exactly as the instrument sent them, and back.
QString RawRecordTimeText(const uint8_t *record);
// Rebuilds the 10 record bytes; false when the text is not of that form.
bool MakeRawRecord(const QString &timeText, int rawForce, int settingCode, RawRecord &record);
