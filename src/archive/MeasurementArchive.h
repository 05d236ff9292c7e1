#pragma once

#include "ArchiveLocation.h"
#include "ArchiveSchema.h"
#include "ArchiveTypes.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <chrono>
#include <memory>
#include <optional>

class ServerWatchdog;

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
        NewerSchema,          // the file was made by a newer program
        NewerServer,          // the server archive's schema is newer than this program knows
        Busy,                 // another program holds the file's write lock: try again shortly
        AuthenticationFailed, // wrong or missing password, or an authentication method the role cannot pass
        SslFailed,            // the server wants SSL, or the SSL connection failed
        LoginRefused,         // no such role or database, or the server lets this role not in
        PermissionDenied,     // the role may not do what the archive needs
        NoSchema,             // the configured schema does not exist on the server
        Foreign,              // tables of another program where the archive should be
        Other
    };
    Kind kind = Kind::None;
    QString detail; // the database's own text, for the log and the command line's stderr

    // The reason in Korean, for the operator.
    QString Reason() const;
    // True when the server could not be reached or went away; any other failure is the server's answer.
    bool ServerLost() const { return kind == Kind::Unreachable; }
};

struct DownloadFilter {
    QString serial;               // any part of the serial, either case ("-": erased); empty: all
    std::optional<qint64> from;   // started at or after (seconds since 1970)
    std::optional<qint64> before; // started before
    int limit = -1;               // -1: every download
    qint64 offset = 0;            // with a limit: skips this many of the newest first
    bool wholeSerial = false;     // serial is the whole serial, not a part of it
};

// Where a download's records go: the download's row and its instrument's.
struct DownloadHandle {
    qint64 downloadId = 0;
    qint64 instrumentId = 0;
    // A download kept here for a server: its location, and its archive's id when the station knows it. Every
    // write queues the download again, so that what arrives after a sync is sent too.
    QString pendingServer;
    QString pendingArchive;
};

// A download kept for a server, as a sync finds it.
struct PendingDownload {
    qint64 id = 0;
    QString location;   // the server's location when the download was kept
    QString archiveId;  // the server archive it waits for; empty when the station never reached it
    bool final = false; // finished, or left unfinished by a writer that is gone
    QString syncError;  // why the server refused it last time (Korean), empty when it did not
    QString syncErrorDetail;
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
    std::optional<DownloadHandle> BeginDownload(const DownloadStart &start, const QString &pendingServer = {},
                                                const QString &pendingArchive = {});
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
    // How many downloads the filter lets through, whatever its limit and offset.
    std::optional<qint64> CountDownloads(const DownloadFilter &filter);
    std::optional<ArchivedDownload> LoadDownload(qint64 id);

    // How long a server may take to answer one statement before it counts as gone (default 30 s). Set
    // before Open.
    void SetServerPatience(std::chrono::milliseconds patience) { m_patience = patience; }
    // True when the last failure was a server that took the connection and did not answer in time.
    bool WentSilent() const { return m_silent; }

    // This archive's own id, written when its tables were created.
    const QString &ArchiveId() const { return m_archiveId; }

    // Sending on: the downloads kept here for a server, and the import of one of them into this archive
    // (idempotent: a download already there is completed, records already there are kept once).
    std::optional<QList<PendingDownload>> PendingDownloads();
    // Done with a download the server now holds, unless it was written again since it was loaded.
    bool MarkSent(qint64 id, int revision);
    bool MarkRefused(qint64 id, const ArchiveError &error);
    bool ImportDownload(const ArchivedDownload &download);
    // The id of the server archive last reached at a location (empty when never), and remembering it.
    std::optional<QString> KnownServerArchive(const QString &location);
    bool RememberServerArchive(const QString &location, const QString &archiveId);

  private:
    friend class PressRegister; // the register's statements share the connection and its error reporting
    // Watches the server for the length of one statement (nothing on an SQLite file).
    class Watched;

    bool OpenSqlite(Purpose purpose);
    bool CheckSchema(Purpose purpose);
    bool OpenServer(Purpose purpose);
    bool UseSchema(Purpose purpose);
    bool Fail(const QSqlError &error);
    bool Exec(QSqlQuery &query);
    bool Prepare(QSqlQuery &query, const char *sql);
    bool PrepareText(QSqlQuery &query, const QString &sql);
    // Prepares sql on this connection, binds values in order and executes it.
    bool Run(QSqlQuery &query, const char *sql, const QVariantList &values);
    std::optional<qint64> InsertOrFind(const char *insertSql, const char *selectSql, const QVariantList &values);
    bool PrepareDownloadUpdates();
    std::optional<qint64> InstrumentId(const InstrumentIdentity &identity);
    std::optional<qint64> IdentityId(qint64 instrumentId, const InstrumentIdentity &identity);
    std::optional<ArchivedDownload> LoadDownloadRows(qint64 id);
    std::optional<QList<DownloadSummary>> SelectDownloads(const QString &where, const QVariantList &values, int limit,
                                                          qint64 offset = 0);
    // The WHERE clause of a filter (empty for none) and its values.
    static QString FilterCondition(const DownloadFilter &filter, QVariantList &values);

    ArchiveLocation m_location;
    std::chrono::milliseconds m_patience{30000};
    std::unique_ptr<ServerWatchdog> m_watchdog; // a server's: gives up on one that stops answering
    int m_socket = -1;                          // the server connection's, while open
    bool m_silent = false;
    QString m_connectionName;
    QSqlDatabase m_db;
    bool m_open = false;
    ArchiveError m_error;
    QString m_archiveId;
    QSqlQuery m_insertStored;
    QSqlQuery m_linkStored;
    QSqlQuery m_insertContinuous;
    QSqlQuery m_insertStoredSet;
    QSqlQuery m_linkStoredSet;
    QSqlQuery m_insertContinuousSet;
    QSqlQuery m_setRowCount;
    QSqlQuery m_finishDownload;
};
