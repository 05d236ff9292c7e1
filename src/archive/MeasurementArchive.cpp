#include "MeasurementArchive.h"

#include "ServerWatchdog.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <libpq-fe.h>

namespace {

QAtomicInteger<int> g_connectionCount;

// SQLite's primary result codes that say something to the operator.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;
constexpr int kSqliteNotADatabase = 26;

ArchiveError::Kind SqliteErrorKind(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    switch (code) {
    case kSqliteCorrupt:
    case kSqliteNotADatabase: return ArchiveError::Kind::Corrupt;
    case kSqliteReadOnly: return ArchiveError::Kind::ReadOnly;
    case kSqliteFull: return ArchiveError::Kind::DiskFull;
    case kSqliteCantOpen: return ArchiveError::Kind::CannotOpen;
    case kSqliteBusy:
    case kSqliteLocked: return ArchiveError::Kind::Busy;
    default: return ArchiveError::Kind::Other;
    }
}

// Why libpq could not open a connection: its message is all there is (no SQLSTATE before the login).
ArchiveError::Kind ConnectionErrorKind(const QString &text)
{
    if (text.contains(QLatin1String("authentication failed")) || text.contains(QLatin1String("no password supplied")))
        return ArchiveError::Kind::AuthenticationFailed;
    // A server that accepts this role only over SSL says so as a missing entry "no encryption".
    if (text.contains(QLatin1String("SSL")) || text.contains(QLatin1String("no encryption")))
        return ArchiveError::Kind::SslFailed;
    if (text.contains(QLatin1String("permission denied")))
        return ArchiveError::Kind::PermissionDenied;
    if (text.contains(QLatin1String("no pg_hba.conf entry")) || text.contains(QLatin1String("does not exist")) ||
        text.contains(QLatin1String("not permitted to log in")) || text.contains(QLatin1String("rejects connection")) ||
        text.contains(QLatin1String("too many connections")))
        return ArchiveError::Kind::LoginRefused;
    return ArchiveError::Kind::Unreachable;
}

// A statement's failure on the server: without an SQLSTATE the connection is gone; with one the server
// answered and refused.
ArchiveError::Kind ServerStatementErrorKind(const QSqlError &error)
{
    const QString state = error.nativeErrorCode();
    if (state.isEmpty())
        return ArchiveError::Kind::Unreachable;
    if (state == QLatin1String("42501"))
        return ArchiveError::Kind::PermissionDenied;
    if (state == QLatin1String("3F000"))
        return ArchiveError::Kind::NoSchema;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return ArchiveError::Kind::Unreachable;
    return ArchiveError::Kind::Other;
}

QVariant Optional(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<qint64>());
}

QVariant OptionalText(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

// A pending download that nobody has written for this long is as final as it gets: its writer is gone.
constexpr qint64 kAbandonedSeconds = 60;

std::optional<qint64> OptionalInt(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
}

const char *const kDownloadColumns =
    "SELECT d.id, d.uid, d.host, d.os_user, d.started_at, d.ended_at, d.mode, d.range_from, d.range_to,"
    " d.result_code, d.row_count, d.complete, d.damaged_count, i.name, i.lc15_serial, i.lc30_serial,"
    " i.lc30_cover_serial, i.serial, i.lc15_cover_serial, i.lc25_cover_serial, i.firmware, d.revision,"
    " d.identity_bytes"
    " FROM downloads d JOIN identities i ON i.id = d.identity_id";

// PostgreSQL array literals of the batch's columns, bound as one value each.
QString IntegerArray(const std::vector<std::pair<int, RawRecord>> &records, int (*column)(int, const RawRecord &))
{
    QStringList values;
    values.reserve(qsizetype(records.size()));
    for (const auto &[position, record] : records)
        values << QString::number(column(position, record));
    return QLatin1Char('{') + values.join(QLatin1Char(',')) + QLatin1Char('}');
}

QString TimeArray(const std::vector<std::pair<int, RawRecord>> &records)
{
    // The texts are digits, '-', ':' and a space; quoted all the same, as an array element with a space must be.
    QStringList values;
    values.reserve(qsizetype(records.size()));
    for (const auto &record : records)
        values << QLatin1Char('"') + RawRecordTimeText(record.second.data()) + QLatin1Char('"');
    return QLatin1Char('{') + values.join(QLatin1Char(',')) + QLatin1Char('}');
}

int PositionOf(int position, const RawRecord &)
{
    return position;
}

int RawForceOf(int, const RawRecord &record)
{
    return record[7] * 256 + record[8];
}

int SettingCodeOf(int, const RawRecord &record)
{
    return record[9];
}

} // namespace

// Declared first in a method, so that it also covers the round trips its queries make when they go (a
// prepared statement is freed on the server).
class MeasurementArchive::Watched {
  public:
    explicit Watched(MeasurementArchive &archive)
        : m_archive(archive), m_watchdog(archive.m_socket >= 0 ? archive.m_watchdog.get() : nullptr)
    {
        if (m_watchdog)
            m_watchdog->Watch(archive.m_socket);
    }
    ~Watched()
    {
        if (!m_watchdog)
            return;
        // A cut whose call told nothing (a statement freed as its query went) is kept here: the next watch
        // forgets it, and what then fails on the closed connection would fail without a reason.
        m_archive.m_silent = m_archive.m_silent || m_watchdog->Cut();
        m_watchdog->Release();
    }
    Watched(const Watched &) = delete;
    Watched &operator=(const Watched &) = delete;

  private:
    MeasurementArchive &m_archive;
    ServerWatchdog *m_watchdog;
};

QString ArchiveError::Reason() const
{
    switch (kind) {
    case Kind::None: return QString();
    case Kind::Unreachable: return QStringLiteral("기록 서버에 연결할 수 없습니다");
    case Kind::Missing: return QStringLiteral("보관 파일이 없습니다");
    case Kind::CannotOpen: return QStringLiteral("보관 파일을 열 수 없습니다");
    case Kind::ReadOnly: return QStringLiteral("보관 파일이 읽기 전용입니다");
    case Kind::DiskFull: return QStringLiteral("디스크 공간이 부족합니다");
    case Kind::Corrupt: return QStringLiteral("보관 파일이 손상되었습니다");
    case Kind::NewerSchema: return QStringLiteral("더 새로운 버전의 프로그램이 만든 보관 파일입니다");
    case Kind::NewerServer:
        return QStringLiteral("기록 서버의 보관 구조가 이 프로그램보다 새 버전입니다 (이 프로그램을 새 버전으로 "
                              "바꾸십시오)");
    case Kind::Busy: return QStringLiteral("다른 프로그램이 보관 파일에 쓰고 있습니다");
    case Kind::AuthenticationFailed:
        return QStringLiteral("기록 서버가 로그인을 거부했습니다: 비밀번호가 틀렸거나 없습니다 (~/.pgpass 또는 "
                              "PGPASSWORD)");
    case Kind::SslFailed:
        return QStringLiteral("기록 서버와 SSL 연결을 할 수 없습니다: 서버가 SSL을 요구하거나 SSL 연결에 "
                              "실패했습니다 (주소의 sslmode)");
    case Kind::LoginRefused:
        return QStringLiteral("기록 서버가 이 사용자의 접속을 허용하지 않습니다 (사용자 또는 데이터베이스 이름)");
    case Kind::PermissionDenied:
        return QStringLiteral("기록 서버에서 이 사용자에게 권한이 없습니다 (관리자가 tonvale-cli archive setup으로 "
                              "권한을 줍니다)");
    case Kind::NoSchema: return QStringLiteral("기록 서버에 보관 스키마가 없습니다 (tonvale-cli archive setup)");
    case Kind::Foreign: return QStringLiteral("다른 프로그램의 표가 있어 보관하지 않습니다");
    case Kind::Other: break;
    }
    return QStringLiteral("보관 중 오류가 났습니다 (%1)").arg(detail);
}

MeasurementArchive::MeasurementArchive(ArchiveLocation location)
    : m_location(std::move(location)),
      m_connectionName(QStringLiteral("tonvale-archive-%1").arg(g_connectionCount.fetchAndAddRelaxed(1)))
{
}

MeasurementArchive::~MeasurementArchive()
{
    Close();
}

SqlDialect MeasurementArchive::Dialect() const
{
    return m_location.IsServer() ? SqlDialect::Postgres : SqlDialect::Sqlite;
}

void MeasurementArchive::Close()
{
    // The connection goes first: the server drops its prepared statements with the session, where the
    // statements let go one by one would cost a round trip each.
    m_socket = -1;
    if (m_db.isValid())
        m_db.close();
    m_insertStored = QSqlQuery();
    m_linkStored = QSqlQuery();
    m_insertContinuous = QSqlQuery();
    m_insertStoredSet = QSqlQuery();
    m_linkStoredSet = QSqlQuery();
    m_insertContinuousSet = QSqlQuery();
    m_setRowCount = QSqlQuery();
    m_finishDownload = QSqlQuery();
    if (m_db.isValid()) {
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_open = false;
}

bool MeasurementArchive::Fail(const QSqlError &error)
{
    // A connection that was cut stays cut until it is opened again: what fails on it later (without a text
    // of its own, the driver having closed it) fails for the same reason.
    m_silent = m_silent || (m_watchdog && m_watchdog->Cut());
    if (m_silent) {
        m_error = {
            ArchiveError::Kind::Unreachable,
            QStringLiteral("the server did not answer within %1 s").arg(m_watchdog->Patience().count() / 1000.0)};
        return false;
    }
    m_error.detail = error.text();
    if (m_location.IsServer())
        m_error.kind = m_db.isOpen() && error.type() != QSqlError::ConnectionError ? ServerStatementErrorKind(error)
                                                                                   : ArchiveError::Kind::Unreachable;
    else
        m_error.kind = SqliteErrorKind(error);
    return false;
}

bool MeasurementArchive::Open(Purpose purpose)
{
    Close();
    m_error = {};
    m_silent = false;
    m_archiveId.clear();
    if (!(m_location.IsServer() ? OpenServer(purpose) : OpenSqlite(purpose)) || !CheckSchema(purpose)) {
        Close();
        return false;
    }
    m_open = true;
    return true;
}

bool MeasurementArchive::CheckSchema(Purpose purpose)
{
    const Watched watched(*this);
    QSqlQuery version(m_db);
    const bool current = purpose == Purpose::Read &&
                         version.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && version.next() &&
                         version.value(0).toInt() == kArchiveSchemaVersion;
    version.finish();
    SchemaResult schema;
    if (current)
        schema.ok = true;
    else
        schema = MigrateArchive(m_db, Dialect());
    if (!schema.ok) {
        const QString text = schema.error.text();
        if (schema.newerThanKnown)
            m_error = {m_location.IsServer() ? ArchiveError::Kind::NewerServer : ArchiveError::Kind::NewerSchema,
                       QStringLiteral("archive schema version %1; this program knows up to %2")
                           .arg(schema.foundVersion)
                           .arg(kArchiveSchemaVersion)};
        else if (schema.foreign)
            m_error = {ArchiveError::Kind::Foreign, text};
        else
            Fail(schema.error);
        if (!m_location.IsServer() && m_error.kind == ArchiveError::Kind::Other) {
            // The migration's own statement failed; classify by its text as well.
            if (text.contains(QLatin1String("readonly")))
                m_error.kind = ArchiveError::Kind::ReadOnly;
            else if (text.contains(QLatin1String("not a database")) || text.contains(QLatin1String("malformed")))
                m_error.kind = ArchiveError::Kind::Corrupt;
            else if (text.contains(QLatin1String("full")))
                m_error.kind = ArchiveError::Kind::DiskFull;
            else if (text.contains(QLatin1String("database is locked")))
                m_error.kind = ArchiveError::Kind::Busy;
        }
        return false;
    }
    QSqlQuery identity(m_db);
    if (identity.exec(QStringLiteral("SELECT archive_id FROM archive_identity")) && identity.next())
        m_archiveId = identity.value(0).toString();
    return true;
}

bool MeasurementArchive::OpenServer(Purpose purpose)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    m_db.setHostName(m_location.host);
    if (m_location.port > 0)
        m_db.setPort(m_location.port);
    m_db.setUserName(m_location.user);
    m_db.setDatabaseName(m_location.database);
    // The server's notices and warnings (a shutdown, say) would go to stderr; failures come back as
    // errors and are told in Korean. The station's own options come last, so that they win.
    // A link that breaks shows within seconds (keepalives; tcp_user_timeout for data never acknowledged);
    // a server that stays connected and never answers is the watchdog's.
    QString options = QStringLiteral("connect_timeout=5;keepalives=1;keepalives_idle=10;keepalives_interval=5;"
                                     "keepalives_count=3;tcp_user_timeout=20000;"
                                     "options='-c client_min_messages=error'");
    if (!m_location.options.isEmpty())
        options += QLatin1Char(';') + m_location.ConnectOptions();
    m_db.setConnectOptions(options);
    if (!m_db.open()) {
        m_error = {ConnectionErrorKind(m_db.lastError().text()), m_db.lastError().text()};
        m_silent = m_error.detail.contains(QLatin1String("timeout expired"));
        return false;
    }
    const QVariant handle = m_db.driver()->handle();
    // Qt's driver hands out its libpq connection under the struct's name ("pg_conn*") or the typedef's.
    const QByteArray type = handle.typeName();
    if (handle.isValid() && (type == "pg_conn*" || type == "PGconn*")) {
        if (!m_watchdog || m_watchdog->Patience() != m_patience)
            m_watchdog = std::make_unique<ServerWatchdog>(m_patience);
        m_socket = PQsocket(*static_cast<PGconn *const *>(handle.constData()));
    }
    return UseSchema(purpose);
}

bool MeasurementArchive::UseSchema(Purpose purpose)
{
    const Watched watched(*this);
    // The archive's tables live in its one schema, whatever the role's own search_path would pick.
    QSqlQuery query(m_db);
    if (!Run(query, "SELECT quote_ident(?), EXISTS (SELECT 1 FROM pg_namespace WHERE nspname = ?)",
             {m_location.schema, m_location.schema}) ||
        !query.next())
        return false;
    const QString quoted = query.value(0).toString();
    const bool exists = query.value(1).toBool();
    query.finish();
    if (!exists) {
        // Only an owner may make it; a station is told to ask for the set-up.
        if (purpose == Purpose::Read || !query.exec(QStringLiteral("CREATE SCHEMA ") + quoted)) {
            if (query.lastError().isValid())
                Fail(query.lastError());
            if (m_error.kind != ArchiveError::Kind::PermissionDenied)
                m_error = {ArchiveError::Kind::NoSchema, m_location.schema};
            return false;
        }
    }
    return Run(query, "SELECT set_config('search_path', ?, false)", {quoted});
}

bool MeasurementArchive::OpenSqlite(Purpose purpose)
{
    const QFileInfo file(m_location.sqlitePath);
    if (purpose == Purpose::Read && !file.exists()) {
        m_error = {ArchiveError::Kind::Missing, m_location.sqlitePath};
        return false;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (purpose == Purpose::Read && !file.isWritable()) {
        // A WAL archive we may not write cannot get its write-ahead and shared-memory files either. When a
        // writer left both (it ended without its last checkpoint), SQLite reads through them; otherwise the
        // file as it stands on disk holds everything.
        const QString path = file.absoluteFilePath();
        const bool walLeft = QFileInfo::exists(path + QStringLiteral("-wal")) && QFileInfo::exists(path + QStringLiteral("-shm"));
        m_db.setDatabaseName(QUrl::fromLocalFile(path).toString() + (walLeft ? QString() : QStringLiteral("?immutable=1")));
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
    } else {
        m_db.setDatabaseName(m_location.sqlitePath);
        // The window and the command line may write at once. Each writer holds the lock for one short
        // transaction a batch; a writer that does not get it within a second is told Busy, keeps its
        // records and tries again after a pause, which lets the other writers in between.
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    }
    if (!m_db.open()) {
        m_error = {ArchiveError::Kind::CannotOpen, m_db.lastError().text()};
        return false;
    }
    // Another program's file is left as it is: not even its journal mode changes.
    QSqlError error;
    const std::optional<QStringList> tables = ArchiveTables(m_db, SqlDialect::Sqlite, &error);
    if (!tables)
        return Fail(error);
    if (!tables->contains(QStringLiteral("schema_version")) && !ForeignTables(*tables, SqlDialect::Sqlite).isEmpty()) {
        m_error = {ArchiveError::Kind::Foreign, ForeignTables(*tables, SqlDialect::Sqlite).join(QLatin1String(", "))};
        return false;
    }
    QSqlQuery pragma(m_db);
    // WAL lets readers and one writer work at once; NORMAL synchronisation keeps every committed
    // transaction through a crash of the program.
    if (purpose == Purpose::Write) {
        if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            return Fail(pragma.lastError());
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    return true;
}

bool MeasurementArchive::Exec(QSqlQuery &query)
{
    const Watched watched(*this);
    return query.exec() || Fail(query.lastError());
}

bool MeasurementArchive::Prepare(QSqlQuery &query, const char *sql)
{
    query = QSqlQuery(m_db);
    return PrepareText(query, QString::fromLatin1(sql));
}

bool MeasurementArchive::PrepareText(QSqlQuery &query, const QString &sql)
{
    // On a server a statement is prepared in a round trip of its own.
    const Watched watched(*this);
    return query.prepare(sql) || Fail(query.lastError());
}

bool MeasurementArchive::Run(QSqlQuery &query, const char *sql, const QVariantList &values)
{
    if (!Prepare(query, sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(value);
    return Exec(query);
}

std::optional<qint64> MeasurementArchive::InsertOrFind(const char *insertSql, const char *selectSql,
                                                       const QVariantList &values)
{
    const Watched watched(*this);
    QSqlQuery query;
    if (!Run(query, insertSql, values))
        return std::nullopt;
    // Nothing comes back when somebody else filed it first: the database's uniqueness kept one row.
    if (!query.next() && !Run(query, selectSql, values))
        return std::nullopt;
    if (!query.isValid() && !query.next()) {
        m_error = {ArchiveError::Kind::Other, QStringLiteral("row not found after insert")};
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

std::optional<qint64> MeasurementArchive::InstrumentId(const InstrumentIdentity &identity)
{
    const QString serial = identity.Serial().isEmpty() ? QStringLiteral("-") : identity.Serial();
    return InsertOrFind("INSERT INTO instruments (instrument_key, serial) VALUES (?, ?)"
                        " ON CONFLICT (instrument_key) DO NOTHING RETURNING id",
                        "SELECT id FROM instruments WHERE instrument_key = ? AND serial = ?",
                        {identity.InstrumentKey(), serial});
}

std::optional<qint64> MeasurementArchive::IdentityId(qint64 instrumentId, const InstrumentIdentity &identity)
{
    QVariantList values{instrumentId};
    for (const QString &text : identity.texts)
        values << text;
    return InsertOrFind("INSERT INTO identities (instrument_id, name, lc15_serial, lc30_serial, lc30_cover_serial,"
                        " serial, lc15_cover_serial, lc25_cover_serial, firmware) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
                        " ON CONFLICT DO NOTHING RETURNING id",
                        // An unknown (NULL) field matches only an unknown one.
                        "SELECT id FROM identities WHERE instrument_id = ? AND name IS NOT DISTINCT FROM ?"
                        " AND lc15_serial IS NOT DISTINCT FROM ? AND lc30_serial IS NOT DISTINCT FROM ?"
                        " AND lc30_cover_serial IS NOT DISTINCT FROM ? AND serial IS NOT DISTINCT FROM ?"
                        " AND lc15_cover_serial IS NOT DISTINCT FROM ? AND lc25_cover_serial IS NOT DISTINCT FROM ?"
                        " AND firmware IS NOT DISTINCT FROM ?",
                        values);
}

bool MeasurementArchive::BeginBatch()
{
    const Watched watched(*this);
    QSqlQuery begin(m_db);
    return begin.exec(Dialect() == SqlDialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")) ||
           Fail(begin.lastError());
}

bool MeasurementArchive::CommitBatch()
{
    const Watched watched(*this);
    QSqlQuery commit(m_db);
    if (commit.exec(QStringLiteral("COMMIT")))
        return true;
    Fail(commit.lastError());
    RollbackBatch();
    return false;
}

void MeasurementArchive::RollbackBatch()
{
    const Watched watched(*this);
    if (m_db.isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

std::optional<DownloadHandle> MeasurementArchive::BeginDownload(const DownloadStart &start,
                                                                const QString &pendingServer,
                                                                const QString &pendingArchive)
{
    const Watched watched(*this);
    if (!BeginBatch())
        return std::nullopt;
    DownloadHandle handle;
    const std::optional<qint64> instrument = InstrumentId(start.identity);
    const std::optional<qint64> identity = instrument ? IdentityId(*instrument, start.identity) : std::nullopt;
    if (!identity) {
        RollbackBatch();
        return std::nullopt;
    }
    handle.instrumentId = *instrument;
    handle.pendingServer = pendingServer;
    handle.pendingArchive = pendingArchive;
    QSqlQuery insert;
    if (!Run(insert,
             "INSERT INTO downloads (uid, instrument_id, identity_id, host, os_user, started_at, mode, range_from,"
             " range_to, pending_server, pending_archive, written_at, identity_bytes)"
             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
             {start.uid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : start.uid, *instrument,
              *identity, start.host, start.osUser, start.startedAt, DownloadModeName(start.mode),
              Optional(start.rangeFrom), Optional(start.rangeTo), OptionalText(pendingServer),
              OptionalText(pendingArchive), QDateTime::currentSecsSinceEpoch(),
              OptionalText(start.identity.BytesText())}) ||
        !insert.next()) {
        RollbackBatch();
        return std::nullopt;
    }
    handle.downloadId = insert.value(0).toLongLong();
    insert.finish();
    if (!CommitBatch())
        return std::nullopt;
    return handle;
}

bool MeasurementArchive::AddStoredRecord(const DownloadHandle &handle, int position, const uint8_t *record)
{
    const Watched watched(*this);
    if (m_insertStored.lastQuery().isEmpty() &&
        (!Prepare(m_insertStored, "INSERT INTO stored_records (instrument_id, record_time, raw_force, setting_code)"
                                  " VALUES (?, ?, ?, ?) ON CONFLICT DO NOTHING") ||
         !Prepare(m_linkStored, "INSERT INTO download_records (download_id, position, record_id)"
                                " SELECT ?, ?, id FROM stored_records WHERE instrument_id = ? AND record_time = ?"
                                " AND raw_force = ? AND setting_code = ? ON CONFLICT DO NOTHING")))
        return false;
    const QString time = RawRecordTimeText(record);
    const int force = record[7] * 256 + record[8];
    const int setting = record[9];
    m_insertStored.bindValue(0, handle.instrumentId);
    m_insertStored.bindValue(1, time);
    m_insertStored.bindValue(2, force);
    m_insertStored.bindValue(3, setting);
    if (!Exec(m_insertStored))
        return false;
    m_linkStored.bindValue(0, handle.downloadId);
    m_linkStored.bindValue(1, position);
    m_linkStored.bindValue(2, handle.instrumentId);
    m_linkStored.bindValue(3, time);
    m_linkStored.bindValue(4, force);
    m_linkStored.bindValue(5, setting);
    return Exec(m_linkStored);
}

bool MeasurementArchive::SetContinuousSummary(const DownloadHandle &handle, const uint8_t *summary)
{
    const Watched watched(*this);
    QSqlQuery upsert(m_db);
    PrepareText(upsert,
                QStringLiteral("INSERT INTO continuous_runs (download_id, record_count, average, minimum, maximum,"
                               " deviation) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (download_id) DO UPDATE SET"
                               " record_count = excluded.record_count, average = excluded.average,"
                               " minimum = excluded.minimum, maximum = excluded.maximum,"
                               " deviation = excluded.deviation"));
    upsert.addBindValue(handle.downloadId);
    upsert.addBindValue(int(summary[0]));
    for (int i = 0; i < 4; ++i)
        upsert.addBindValue(summary[1 + 2 * i] * 256 + summary[2 + 2 * i]);
    return Exec(upsert);
}

bool MeasurementArchive::AddContinuousRecord(const DownloadHandle &handle, int position, const uint8_t *record)
{
    const Watched watched(*this);
    if (m_insertContinuous.lastQuery().isEmpty() &&
        !Prepare(m_insertContinuous, "INSERT INTO continuous_records (download_id, position, record_time, raw_force,"
                                     " setting_code) VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"))
        return false;
    m_insertContinuous.bindValue(0, handle.downloadId);
    m_insertContinuous.bindValue(1, position);
    m_insertContinuous.bindValue(2, RawRecordTimeText(record));
    m_insertContinuous.bindValue(3, record[7] * 256 + record[8]);
    m_insertContinuous.bindValue(4, int(record[9]));
    return Exec(m_insertContinuous);
}

bool MeasurementArchive::AddStoredRecords(const DownloadHandle &handle,
                                          const std::vector<std::pair<int, RawRecord>> &records)
{
    const Watched watched(*this);
    if (records.empty())
        return true;
    if (Dialect() == SqlDialect::Sqlite) {
        // In-process: a statement per record costs nothing a set would save.
        for (const auto &[position, record] : records)
            if (!AddStoredRecord(handle, position, record.data()))
                return false;
        return true;
    }
    if (m_insertStoredSet.lastQuery().isEmpty() &&
        (!Prepare(m_insertStoredSet,
                  "INSERT INTO stored_records (instrument_id, record_time, raw_force, setting_code)"
                  " SELECT ?, t, f, c FROM unnest(?::text[], ?::integer[], ?::integer[]) AS u (t, f, c)"
                  " ON CONFLICT DO NOTHING") ||
         !Prepare(m_linkStoredSet,
                  "INSERT INTO download_records (download_id, position, record_id)"
                  " SELECT ?, u.p, s.id FROM unnest(?::integer[], ?::text[], ?::integer[], ?::integer[])"
                  " AS u (p, t, f, c) JOIN stored_records s ON s.instrument_id = ? AND s.record_time = u.t"
                  " AND s.raw_force = u.f AND s.setting_code = u.c ON CONFLICT DO NOTHING")))
        return false;
    const QString times = TimeArray(records);
    const QString forces = IntegerArray(records, RawForceOf);
    const QString settings = IntegerArray(records, SettingCodeOf);
    m_insertStoredSet.bindValue(0, handle.instrumentId);
    m_insertStoredSet.bindValue(1, times);
    m_insertStoredSet.bindValue(2, forces);
    m_insertStoredSet.bindValue(3, settings);
    if (!Exec(m_insertStoredSet))
        return false;
    m_linkStoredSet.bindValue(0, handle.downloadId);
    m_linkStoredSet.bindValue(1, IntegerArray(records, PositionOf));
    m_linkStoredSet.bindValue(2, times);
    m_linkStoredSet.bindValue(3, forces);
    m_linkStoredSet.bindValue(4, settings);
    m_linkStoredSet.bindValue(5, handle.instrumentId);
    return Exec(m_linkStoredSet);
}

bool MeasurementArchive::AddContinuousRecords(const DownloadHandle &handle,
                                              const std::vector<std::pair<int, RawRecord>> &records)
{
    const Watched watched(*this);
    if (records.empty())
        return true;
    if (Dialect() == SqlDialect::Sqlite) {
        for (const auto &[position, record] : records)
            if (!AddContinuousRecord(handle, position, record.data()))
                return false;
        return true;
    }
    if (m_insertContinuousSet.lastQuery().isEmpty() &&
        !Prepare(m_insertContinuousSet,
                 "INSERT INTO continuous_records (download_id, position, record_time, raw_force, setting_code)"
                 " SELECT ?, p, t, f, c FROM unnest(?::integer[], ?::text[], ?::integer[], ?::integer[])"
                 " AS u (p, t, f, c) ON CONFLICT DO NOTHING"))
        return false;
    m_insertContinuousSet.bindValue(0, handle.downloadId);
    m_insertContinuousSet.bindValue(1, IntegerArray(records, PositionOf));
    m_insertContinuousSet.bindValue(2, TimeArray(records));
    m_insertContinuousSet.bindValue(3, IntegerArray(records, RawForceOf));
    m_insertContinuousSet.bindValue(4, IntegerArray(records, SettingCodeOf));
    return Exec(m_insertContinuousSet);
}

bool MeasurementArchive::SetRowCount(const DownloadHandle &handle, int rowCount)
{
    const Watched watched(*this);
    if (!PrepareDownloadUpdates())
        return false;
    m_setRowCount.bindValue(0, rowCount);
    m_setRowCount.bindValue(1, QDateTime::currentSecsSinceEpoch());
    m_setRowCount.bindValue(2, OptionalText(handle.pendingServer));
    m_setRowCount.bindValue(3, handle.downloadId);
    return Exec(m_setRowCount);
}

bool MeasurementArchive::FinishDownload(const DownloadHandle &handle, qint64 endedAt, int resultCode, int rowCount,
                                        int damaged)
{
    const Watched watched(*this);
    if (!PrepareDownloadUpdates())
        return false;
    m_finishDownload.bindValue(0, endedAt);
    m_finishDownload.bindValue(1, resultCode);
    m_finishDownload.bindValue(2, rowCount);
    m_finishDownload.bindValue(3, resultCode >= 0 && damaged == 0 ? 1 : 0);
    m_finishDownload.bindValue(4, damaged);
    m_finishDownload.bindValue(5, QDateTime::currentSecsSinceEpoch());
    m_finishDownload.bindValue(6, OptionalText(handle.pendingServer));
    m_finishDownload.bindValue(7, handle.downloadId);
    return Exec(m_finishDownload);
}

bool MeasurementArchive::PrepareDownloadUpdates()
{
    // Kept prepared, and both at the first batch: on a server each preparation is a round trip of its
    // own, which the download's end then does not wait for. Every write stamps the download and changes
    // its revision, so that a sync that read it before tells it was written since, and queues it again.
    return !m_finishDownload.lastQuery().isEmpty() ||
           (Prepare(m_setRowCount, "UPDATE downloads SET row_count = ?, written_at = ?, revision = revision + 1,"
                                   " pending_server = ? WHERE id = ?") &&
            Prepare(m_finishDownload, "UPDATE downloads SET ended_at = ?, result_code = ?, row_count = ?,"
                                      " complete = ?, damaged_count = ?, written_at = ?, revision = revision + 1,"
                                      " pending_server = ? WHERE id = ?"));
}

std::optional<QList<DownloadSummary>> MeasurementArchive::SelectDownloads(const QString &where,
                                                                          const QVariantList &values, int limit,
                                                                          qint64 offset)
{
    QString sql =
        QString::fromLatin1(kDownloadColumns) + where + QStringLiteral(" ORDER BY d.started_at DESC, d.id DESC");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1 OFFSET %2").arg(limit).arg(offset);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!PrepareText(query, sql))
        return std::nullopt;
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!Exec(query))
        return std::nullopt;
    QList<DownloadSummary> downloads;
    while (query.next()) {
        DownloadSummary d;
        d.id = query.value(0).toLongLong();
        d.uid = query.value(1).toString();
        d.host = query.value(2).toString();
        d.osUser = query.value(3).toString();
        d.startedAt = query.value(4).toLongLong();
        d.endedAt = OptionalInt(query.value(5));
        d.mode = DownloadModeFromName(query.value(6).toString()).value_or(DownloadMode::Memory);
        d.rangeFrom = OptionalInt(query.value(7));
        d.rangeTo = OptionalInt(query.value(8));
        if (!query.value(9).isNull())
            d.resultCode = query.value(9).toInt();
        d.rowCount = query.value(10).toInt();
        d.complete = query.value(11).toInt() != 0;
        d.damaged = query.value(12).toInt();
        for (int i = 0; i < InstrumentIdentity::kFieldCount; ++i)
            d.identity.texts[i] = query.value(13 + i).toString();
        d.revision = query.value(21).toInt();
        d.identity.SetBytesText(query.value(22).toString());
        downloads << d;
    }
    return downloads;
}

QString MeasurementArchive::FilterCondition(const DownloadFilter &filter, QVariantList &values)
{
    QStringList conditions;
    if (filter.serial == QLatin1String("-") || (filter.wholeSerial && !filter.serial.isEmpty())) {
        // The text an erased serial shows, or one whole serial: those instruments only.
        conditions << QStringLiteral("d.instrument_id IN (SELECT id FROM instruments WHERE serial = ?)");
        values << filter.serial;
    } else if (!filter.serial.isEmpty()) {
        // Any part of the serial, in either case.
        QString pattern = filter.serial.toLower();
        pattern.replace(QLatin1String("\\"), QLatin1String("\\\\"))
            .replace(QLatin1String("%"), QLatin1String("\\%"))
            .replace(QLatin1String("_"), QLatin1String("\\_"));
        conditions << QStringLiteral(
            "d.instrument_id IN (SELECT id FROM instruments WHERE LOWER(serial) LIKE ? ESCAPE '\\')");
        values << QLatin1Char('%') + pattern + QLatin1Char('%');
    }
    if (filter.from) {
        conditions << QStringLiteral("d.started_at >= ?");
        values << *filter.from;
    }
    if (filter.before) {
        conditions << QStringLiteral("d.started_at < ?");
        values << *filter.before;
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND "));
}

std::optional<QList<DownloadSummary>> MeasurementArchive::ListDownloads(const DownloadFilter &filter)
{
    const Watched watched(*this);
    QVariantList values;
    const QString where = FilterCondition(filter, values);
    return SelectDownloads(where, values, filter.limit, filter.offset);
}

std::optional<qint64> MeasurementArchive::CountDownloads(const DownloadFilter &filter)
{
    const Watched watched(*this);
    QVariantList values;
    const QString where = FilterCondition(filter, values);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT COUNT(*) FROM downloads d") + where)) {
        Fail(query.lastError());
        return std::nullopt;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!Exec(query) || !query.next())
        return std::nullopt;
    return query.value(0).toLongLong();
}

std::optional<ArchivedDownload> MeasurementArchive::LoadDownload(qint64 id)
{
    const Watched watched(*this);
    // One snapshot of a station's file: the records are those of the revision read with the download's row.
    const bool snapshot = Dialect() == SqlDialect::Sqlite && QSqlQuery(m_db).exec(QStringLiteral("BEGIN"));
    std::optional<ArchivedDownload> download = LoadDownloadRows(id);
    if (snapshot)
        QSqlQuery(m_db).exec(QStringLiteral("COMMIT"));
    return download;
}

std::optional<ArchivedDownload> MeasurementArchive::LoadDownloadRows(qint64 id)
{
    const std::optional<QList<DownloadSummary>> found = SelectDownloads(QStringLiteral(" WHERE d.id = ?"), {id}, 1);
    if (!found || found->isEmpty())
        return std::nullopt;
    ArchivedDownload download;
    download.summary = found->first();
    QSqlQuery records(m_db);
    records.setForwardOnly(true);
    if (download.summary.mode == DownloadMode::Memory) {
        PrepareText(records, QStringLiteral("SELECT r.position, s.record_time, s.raw_force, s.setting_code"
                                            " FROM download_records r JOIN stored_records s ON s.id = r.record_id"
                                            " WHERE r.download_id = ? ORDER BY r.position"));
    } else {
        QSqlQuery run(m_db);
        PrepareText(run, QStringLiteral("SELECT record_count, average, minimum, maximum, deviation FROM continuous_runs"
                                        " WHERE download_id = ?"));
        run.addBindValue(id);
        if (!Exec(run))
            return std::nullopt;
        if (run.next()) {
            RawSummary summary{uint8_t(run.value(0).toInt())};
            for (int i = 0; i < 4; ++i) {
                const int value = run.value(1 + i).toInt();
                summary[1 + 2 * i] = uint8_t(value >> 8);
                summary[2 + 2 * i] = uint8_t(value & 0xFF);
            }
            download.continuousSummary = summary;
        }
        PrepareText(records,
                    QStringLiteral("SELECT position, record_time, raw_force, setting_code FROM continuous_records"
                                   " WHERE download_id = ? ORDER BY position"));
    }
    records.addBindValue(id);
    if (!Exec(records))
        return std::nullopt;
    while (records.next()) {
        RawRecord record;
        if (!MakeRawRecord(records.value(1).toString(), records.value(2).toInt(), records.value(3).toInt(), record)) {
            m_error = {ArchiveError::Kind::Corrupt, QStringLiteral("bad record time in download %1").arg(id)};
            return std::nullopt;
        }
        download.records.emplace_back(records.value(0).toInt(), record);
    }
    return download;
}

std::optional<QList<PendingDownload>> MeasurementArchive::PendingDownloads()
{
    const Watched watched(*this);
    QSqlQuery query;
    if (!Run(query,
             "SELECT id, pending_server, pending_archive, ended_at IS NOT NULL OR COALESCE(written_at, 0) < ?,"
             " sync_error, sync_error_detail FROM downloads WHERE pending_server IS NOT NULL ORDER BY id",
             {QDateTime::currentSecsSinceEpoch() - kAbandonedSeconds}))
        return std::nullopt;
    QList<PendingDownload> pending;
    while (query.next())
        pending << PendingDownload{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                                   query.value(3).toInt() != 0, query.value(4).toString(), query.value(5).toString()};
    return pending;
}

bool MeasurementArchive::MarkSent(qint64 id, int revision)
{
    const Watched watched(*this);
    m_error = {};
    QSqlQuery update;
    return Run(update,
               "UPDATE downloads SET pending_server = NULL, sync_error = NULL, sync_error_detail = NULL"
               " WHERE id = ? AND revision = ? AND pending_server IS NOT NULL",
               {id, revision}) &&
           update.numRowsAffected() == 1;
}

bool MeasurementArchive::MarkRefused(qint64 id, const ArchiveError &error)
{
    const Watched watched(*this);
    QSqlQuery update;
    return Run(update, "UPDATE downloads SET sync_error = ?, sync_error_detail = ? WHERE id = ?",
               {error.Reason(), error.detail, id});
}

std::optional<QString> MeasurementArchive::KnownServerArchive(const QString &location)
{
    const Watched watched(*this);
    QSqlQuery query;
    if (!Run(query, "SELECT archive_id FROM server_archives WHERE location = ?", {location}))
        return std::nullopt;
    return query.next() ? query.value(0).toString() : QString();
}

bool MeasurementArchive::RememberServerArchive(const QString &location, const QString &archiveId)
{
    const Watched watched(*this);
    QSqlQuery upsert;
    return Run(upsert,
               "INSERT INTO server_archives (location, archive_id) VALUES (?, ?)"
               " ON CONFLICT (location) DO UPDATE SET archive_id = excluded.archive_id",
               {location, archiveId});
}

bool MeasurementArchive::ImportDownload(const ArchivedDownload &download)
{
    const Watched watched(*this);
    const DownloadSummary &d = download.summary;
    if (!BeginBatch())
        return false;
    const std::optional<qint64> instrument = InstrumentId(d.identity);
    const std::optional<qint64> identity = instrument ? IdentityId(*instrument, d.identity) : std::nullopt;
    if (!identity) {
        RollbackBatch();
        return false;
    }
    // A download the server saw begin (before it went away) is completed from the local copy.
    QSqlQuery upsert;
    const QVariant result = d.resultCode ? QVariant(*d.resultCode) : QVariant(QMetaType::fromType<int>());
    if (!Run(upsert,
             "INSERT INTO downloads (uid, instrument_id, identity_id, host, os_user, started_at, ended_at, mode,"
             " range_from, range_to, result_code, row_count, complete, damaged_count, identity_bytes)"
             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
             " ON CONFLICT (uid) DO UPDATE SET ended_at = COALESCE(excluded.ended_at, downloads.ended_at),"
             " result_code = COALESCE(excluded.result_code, downloads.result_code),"
             " row_count = CASE WHEN excluded.row_count > downloads.row_count THEN excluded.row_count"
             " ELSE downloads.row_count END,"
             " complete = CASE WHEN excluded.complete > downloads.complete THEN excluded.complete ELSE "
             "downloads.complete "
             "END, damaged_count = CASE WHEN excluded.damaged_count > downloads.damaged_count"
             " THEN excluded.damaged_count ELSE downloads.damaged_count END"
             " RETURNING id",
             {d.uid, *instrument, *identity, d.host, d.osUser, d.startedAt, Optional(d.endedAt),
              DownloadModeName(d.mode), Optional(d.rangeFrom), Optional(d.rangeTo), result, d.rowCount,
              d.complete ? 1 : 0, d.damaged, OptionalText(d.identity.BytesText())}) ||
        !upsert.next()) {
        RollbackBatch();
        return false;
    }
    const DownloadHandle handle{upsert.value(0).toLongLong(), *instrument, {}, {}};
    upsert.finish();
    bool ok = !download.continuousSummary || SetContinuousSummary(handle, download.continuousSummary->data());
    ok = ok && (d.mode == DownloadMode::Memory ? AddStoredRecords(handle, download.records)
                                               : AddContinuousRecords(handle, download.records));
    if (!ok) {
        RollbackBatch();
        return false;
    }
    return CommitBatch();
}
