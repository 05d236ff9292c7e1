#pragma once

#include "ArchiveLocation.h"
#include "ArchiveSync.h"
#include "ArchiveTypes.h"
#include "LinkOwner.h"
#include "MeasurementArchive.h"

#include <QElapsedTimer>
#include <QStringList>

#include <memory>
#include <vector>

struct ArchiveSettings {
    bool enabled = true;
    ArchiveLocation location; // where downloads go: an SQLite file or a PostgreSQL server
    // The station's own SQLite archive: where downloads wait while the server cannot be reached.
    ArchiveLocation local;
    int batchRecords = 500;      // a transaction holds at most this many records
    int batchMilliseconds = 500; // and is committed once it is this old when the next record arrives
};

// The settings of the program whose INI file is iniPath: databaseUrl when given, else [ARCHIVE] DATABASE=
// of the INI file, else archive.sqlite in the INI file's folder, which is also always the local archive.
// nullopt with a Korean reason when the URL or the INI value is not a location.
std::optional<ArchiveSettings> ConfiguredArchiveSettings(const QString &iniPath, const QString &databaseUrl,
                                                         QString *error);

// A link owner that passes every record on to another owner (the grid) and archives it as it arrives.
// Records are written in transactions of bounded size, so that a crash, a kill or an unplug loses at
// most the open transaction, and the download row tells how far it came. Nothing the archive does can
// stop or fail the download: when the server goes away the download goes on into the local archive
// (to be sent later), and when no archive takes it the operator gets one Korean notice at the end.
//
// Owns its database connections: create, use and destroy it on the thread that runs the downloads.
class ArchivingLinkOwner : public LinkOwner {
  public:
    ArchivingLinkOwner(LinkOwner &inner, ArchiveSettings settings);
    ~ArchivingLinkOwner() override;

    // Around each download. start.uid and start.startedAt are filled in when empty.
    void BeginDownload(DownloadStart start);
    // resultCode: what the download returned; rowCount: the rows it delivered; endedAt in seconds since 1970.
    void FinishDownload(int resultCode, int rowCount, qint64 endedAt);
    // What the operator must be told about the last download's archiving (nothing when all went well).
    QStringList TakeNotices();
    // The archive row of the current or last download (0 when none took it), and where it is.
    qint64 DownloadId() const { return m_handle.downloadId; }
    const ArchiveLocation *DownloadLocation() const;
    // The databases' own texts behind the last download's notices (the server's, the local file's), for
    // the command line's stderr and the packet log.
    QStringList DatabaseTexts() const;

    PacketLogSink *PacketLog() override { return m_inner.PacketLog(); }
    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    enum class ItemKind { Stored, Summary, Continuous };
    struct Item {
        ItemKind kind;
        int position;
        std::array<uint8_t, 10> bytes;
    };

    // Counts a record (or the summary) handed on to the grid and archives it.
    void Received(ItemKind kind, int index, const uint8_t *bytes);
    MeasurementArchive *OpenPrimary();
    // Sends what waits locally for the server just opened; notices of downloads it newly refused.
    SyncResult SyncToPrimary();
    // A download kept locally for the server: true when the server is back and took it at its end.
    bool SentAfterAll();
    bool StartOn(MeasurementArchive &archive, const QString &pendingServer);
    void Archive(const Item &item);
    bool Write(const Item &item);
    bool CommitBatch();
    // The target failed: go on locally when the target was the server, else give up on this download.
    void TargetFailed();

    LinkOwner &m_inner;
    ArchiveSettings m_settings;
    std::unique_ptr<MeasurementArchive> m_primary;
    std::unique_ptr<MeasurementArchive> m_local;
    QString m_serverArchiveId;       // the id of the server archive this process last reached
    bool m_otherArchiveTold = false; // downloads waiting for another server archive are told once

    DownloadStart m_start;
    MeasurementArchive *m_target = nullptr;
    DownloadHandle m_handle;
    bool m_inBatch = false;
    std::vector<Item> m_batch; // the open transaction's items, written again locally if the server fails
    QElapsedTimer m_batchAge;
    int m_rows = 0;
    int m_records = 0;  // records received in this download
    int m_archived = 0; // records committed
    bool m_failed = false;
    ArchiveError m_serverError; // set when the download went to the local archive instead
    ArchiveError m_failure;
    QString m_failedLocation;
    QStringList m_notices;
};
