#pragma once

#include "ArchiveLocation.h"
#include "ArchiveSync.h"
#include "ArchiveTypes.h"
#include "MeasurementArchive.h"

#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

struct ArchiveSettings {
    bool enabled = true;
    ArchiveLocation location; // where downloads go: an SQLite file or a PostgreSQL server
    // The station's own SQLite archive: where downloads wait while the server cannot be reached.
    ArchiveLocation local;
    int batchRecords = 500;      // a transaction holds at most this many records
    int batchMilliseconds = 500; // and is committed once it is this old when the next record arrives
    // How long the server may take to answer one statement; then the download goes on in the local archive.
    std::chrono::milliseconds serverPatience{30000};
};

// One record (or the continuous summary) of a download, copied for the archive.
struct ArchiveItem {
    enum class Kind { Stored, Summary, Continuous };
    Kind kind = Kind::Stored;
    int position = 0;
    RawRecord bytes{}; // a summary uses the first kSummarySize bytes
};

// Writes one download at a time into the archive, on the thread that made it (its connections belong
// there). Items are kept in memory until a transaction holding all of them commits: when the SQLite file
// is busy with another writer they wait for the next try; when the server fails they go on, with the
// rest of the download, into the local SQLite archive (marked for the server); only when no archive
// takes them are they lost, and the operator gets one Korean notice at the end.
class ArchiveRecorder {
  public:
    enum class Outcome { Written, Busy, Failed };

    explicit ArchiveRecorder(ArchiveSettings settings);
    ~ArchiveRecorder();
    ArchiveRecorder(const ArchiveRecorder &) = delete;
    ArchiveRecorder &operator=(const ArchiveRecorder &) = delete;

    // A new download, once the last one's end was written: nothing is written until the next Write.
    void BeginDownload(const DownloadStart &start);
    void Keep(const std::vector<ArchiveItem> &items);
    // The end of the download, written with the next Write.
    void EndDownload(int resultCode, int rowCount, qint64 endedAt, int damaged);
    // Files the download when not yet done and writes everything kept (and the end) in one transaction.
    // Busy: nothing lost, try again later. Failed: what could not be written anywhere is counted as lost.
    Outcome Write();
    bool HasWork() const;
    // After the end was written, or given up on: what the operator must be told (nothing when all went well),
    // with what the syncs since the last call had to say.
    QStringList TakeNotices();
    // The databases' own texts behind the last download's notices (the server's, the local file's).
    QStringList DatabaseTexts() const;
    // Gives up on what is still kept (another writer held the file for too long).
    void GiveUp(const ArchiveError &why);

  private:
    void MakePrimary();
    MeasurementArchive *OpenPrimary();
    // Sends what waits locally for the server just opened; notices of downloads it newly refused.
    SyncResult SyncToPrimary();
    // A download kept locally for the server: true when the server is back and took it at its end.
    bool SentAfterAll();
    bool WriteItems();
    // The target failed: go on locally when the target was the server, else give up on this download.
    Outcome TargetFailed();

    ArchiveSettings m_settings;
    std::unique_ptr<MeasurementArchive> m_primary;
    std::unique_ptr<MeasurementArchive> m_local;
    QString m_serverArchiveId;       // the id of the server archive this process last reached
    bool m_otherArchiveTold = false; // downloads waiting for another server archive are told once
    QStringList m_syncNotices;
    // When the server last went silent (took the connection and never answered): not tried again at once.
    std::optional<std::chrono::steady_clock::time_point> m_serverSilentAt;

    bool m_begun = false;
    DownloadStart m_start;
    MeasurementArchive *m_target = nullptr;
    QString m_pendingServer; // set while the download goes to the local archive for the server
    std::optional<DownloadHandle> m_handle;
    std::vector<ArchiveItem> m_kept; // not yet committed to the target
    struct End {
        int resultCode;
        int rowCount;
        qint64 endedAt;
        int damaged;
    };
    std::optional<End> m_end;
    bool m_endWritten = false;
    int m_rows = 0;
    int m_records = 0;  // records received in this download
    int m_archived = 0; // records committed
    bool m_failed = false;
    ArchiveError m_serverError; // set when the download went to the local archive instead
    ArchiveError m_failure;
    QString m_failedLocation;
};
