#pragma once

#include "ArchiveLocation.h"
#include "ArchiveSchema.h"
#include "ArchiveTypes.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <optional>

// Why the archive could not do something. The kind decides what the operator is told.
struct ArchiveError {
    enum class Kind {
        None,
        Unreachable,
        Missing,
        CannotOpen,
        ReadOnly,
        DiskFull,
        Corrupt,
        NewerSchema,
        Busy, // another program holds the file's write lock: try again shortly
        Other
    };
    Kind kind = Kind::None;
    QString detail; // the database's own text, for the log

    // The reason in Korean, for the operator.
    QString Reason() const;
};

struct DownloadFilter {
    QString serial;               // any part of the serial, either case ("-": erased); empty: all
    std::optional<qint64> from;   // started at or after (seconds since 1970)
    std::optional<qint64> before; // started before
    int limit = -1;               // -1: every download
};

// Where a download's records go: the download's row and its instrument's.
struct DownloadHandle {
    qint64 downloadId = 0;
    qint64 instrumentId = 0;
};

// One connection to the archive, SQLite file or PostgreSQL server, through Qt SQL. Every statement is
// prepared with bound values. A connection belongs to the thread that opened it: make, use and destroy
// the object on one thread. Failures return false / nullopt and leave LastError().
class MeasurementArchive {
  public:
    enum class Purpose {
        Write, // creates the SQLite file when missing and brings the schema up to date
        Read   // never creates a file; a current archive is read without writing to it
    };

    explicit MeasurementArchive(ArchiveLocation location);
    ~MeasurementArchive();
    MeasurementArchive(const MeasurementArchive &) = delete;
    MeasurementArchive &operator=(const MeasurementArchive &) = delete;

    bool Open(Purpose purpose = Purpose::Write);
    bool IsOpen() const { return m_open; }
    void Close();
    const ArchiveLocation &Location() const { return m_location; }
    const ArchiveError &LastError() const { return m_error; }
    SqlDialect Dialect() const;
    QSqlDatabase &Database() { return m_db; }

    // Writing one download. BeginDownload files the instrument, its identity and the download row and
    // commits them at once; pendingServer names the server a locally kept download still has to reach.
    std::optional<DownloadHandle> BeginDownload(const DownloadStart &start, const QString &pendingServer = {});
    // Records go in batches: BeginBatch, any number of Add/Set calls, CommitBatch (or RollbackBatch).
    bool BeginBatch();
    bool CommitBatch();
    void RollbackBatch();
    // A stored record is kept once per instrument however many downloads see it; the download is linked
    // to it at its position.
    bool AddStoredRecord(const DownloadHandle &handle, int position, const uint8_t *record);
    bool SetContinuousSummary(const DownloadHandle &handle, const uint8_t *summary);
    bool AddContinuousRecord(const DownloadHandle &handle, int position, const uint8_t *record);
    // The same for many records at once: on a server one statement each for the records and their links,
    // whatever their number, so that a batch costs the same few round trips as one record.
    bool AddStoredRecords(const DownloadHandle &handle, const std::vector<std::pair<int, RawRecord>> &records);
    bool AddContinuousRecords(const DownloadHandle &handle, const std::vector<std::pair<int, RawRecord>> &records);
    // Rows so far, inside a batch, so that a download cut short still tells how far it came.
    bool SetRowCount(const DownloadHandle &handle, int rowCount);
    // damaged: records that arrived damaged and were left out; with any, the download is not complete.
    bool FinishDownload(const DownloadHandle &handle, qint64 endedAt, int resultCode, int rowCount, int damaged = 0);

    // Reading.
    std::optional<QList<DownloadSummary>> ListDownloads(const DownloadFilter &filter);
    std::optional<ArchivedDownload> LoadDownload(qint64 id);

    // Sending on: the downloads kept here for a server, and the import of one of them into this archive
    // (idempotent: a download already there is completed, records already there are kept once).
    std::optional<QList<qint64>> PendingDownloads(const QString &server);
    bool MarkSent(qint64 id);
    bool ImportDownload(const ArchivedDownload &download);

  private:
    bool OpenSqlite(Purpose purpose);
    bool Fail(const QSqlError &error);
    bool Exec(QSqlQuery &query);
    bool Prepare(QSqlQuery &query, const char *sql);
    // Prepares sql on this connection, binds values in order and executes it.
    bool Run(QSqlQuery &query, const char *sql, const QVariantList &values);
    std::optional<qint64> InsertOrFind(const char *insertSql, const char *selectSql, const QVariantList &values);
    bool PrepareDownloadUpdates();
    std::optional<qint64> InstrumentId(const InstrumentIdentity &identity);
    std::optional<qint64> IdentityId(qint64 instrumentId, const InstrumentIdentity &identity);
    std::optional<QList<DownloadSummary>> SelectDownloads(const QString &where, const QVariantList &values, int limit);

    ArchiveLocation m_location;
    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_open = false;
    ArchiveError m_error;
    QSqlQuery m_insertStored;
    QSqlQuery m_linkStored;
    QSqlQuery m_insertContinuous;
    QSqlQuery m_insertStoredSet;
    QSqlQuery m_linkStoredSet;
    QSqlQuery m_insertContinuousSet;
    QSqlQuery m_setRowCount;
    QSqlQuery m_finishDownload;
};
