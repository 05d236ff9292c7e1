#include "MeasurementArchive.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlError>
#include <QUrl>
#include <QUuid>
#include <QVariant>

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

QVariant Optional(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<qint64>());
}

std::optional<qint64> OptionalInt(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
}

const char *const kDownloadColumns =
    "SELECT d.id, d.uid, d.host, d.os_user, d.started_at, d.ended_at, d.mode, d.range_from, d.range_to,"
    " d.result_code, d.row_count, d.complete, d.damaged_count, i.name, i.lc15_serial, i.lc30_serial, "
    "i.lc30_cover_serial,"
    " i.serial, i.lc15_cover_serial, i.lc25_cover_serial, i.firmware"
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
    case Kind::Busy: return QStringLiteral("다른 프로그램이 보관 파일에 쓰고 있습니다");
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
    m_error.detail = error.text();
    if (m_location.IsServer())
        m_error.kind = m_db.isOpen() && error.type() != QSqlError::ConnectionError ? ArchiveError::Kind::Other
                                                                                   : ArchiveError::Kind::Unreachable;
    else
        m_error.kind = SqliteErrorKind(error);
    return false;
}

bool MeasurementArchive::Open(Purpose purpose)
{
    Close();
    m_error = {};
    if (m_location.IsServer()) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        m_db.setHostName(m_location.host);
        if (m_location.port > 0)
            m_db.setPort(m_location.port);
        m_db.setUserName(m_location.user);
        m_db.setDatabaseName(m_location.database);
        // The server's notices and warnings (a shutdown, say) would go to stderr; failures come back as
        // errors and are told in Korean.
        QString options = QStringLiteral("connect_timeout=5;options='-c client_min_messages=error'");
        if (!m_location.options.isEmpty())
            options = m_location.options + QLatin1Char(';') + options;
        m_db.setConnectOptions(options);
        if (!m_db.open()) {
            m_error = {ArchiveError::Kind::Unreachable, m_db.lastError().text()};
            return false;
        }
    } else if (!OpenSqlite(purpose)) {
        return false;
    }

    if (purpose == Purpose::Read) {
        QSqlQuery version(m_db);
        if (version.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && version.next() &&
            version.value(0).toInt() == kArchiveSchemaVersion) {
            m_open = true;
            return true;
        }
    }
    const SchemaResult schema = MigrateArchive(m_db, Dialect());
    if (!schema.ok) {
        if (schema.newerThanKnown)
            m_error = {ArchiveError::Kind::NewerSchema, QString()};
        else
            Fail(m_db.lastError().isValid() ? m_db.lastError()
                                            : QSqlError(schema.error, QString(), QSqlError::UnknownError));
        if (m_error.detail.isEmpty())
            m_error.detail = schema.error;
        if (!m_location.IsServer() && m_error.kind == ArchiveError::Kind::Other) {
            // The migration's own statement failed; classify by its text as well.
            if (schema.error.contains(QLatin1String("readonly")))
                m_error.kind = ArchiveError::Kind::ReadOnly;
            else if (schema.error.contains(QLatin1String("not a database")) ||
                     schema.error.contains(QLatin1String("malformed")))
                m_error.kind = ArchiveError::Kind::Corrupt;
            else if (schema.error.contains(QLatin1String("full")))
                m_error.kind = ArchiveError::Kind::DiskFull;
            else if (schema.error.contains(QLatin1String("database is locked")))
                m_error.kind = ArchiveError::Kind::Busy;
        }
        Close();
        return false;
    }
    m_open = true;
    return true;
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
        // A WAL archive we may not write cannot get its shared-memory file either: read the file as it
        // stands on disk.
        m_db.setDatabaseName(QUrl::fromLocalFile(file.absoluteFilePath()).toString() + QStringLiteral("?immutable=1"));
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
    return query.exec() || Fail(query.lastError());
}

bool MeasurementArchive::Prepare(QSqlQuery &query, const char *sql)
{
    query = QSqlQuery(m_db);
    return query.prepare(QString::fromLatin1(sql)) || Fail(query.lastError());
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
    QSqlQuery begin(m_db);
    return begin.exec(Dialect() == SqlDialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN")) ||
           Fail(begin.lastError());
}

bool MeasurementArchive::CommitBatch()
{
    QSqlQuery commit(m_db);
    if (commit.exec(QStringLiteral("COMMIT")))
        return true;
    Fail(commit.lastError());
    RollbackBatch();
    return false;
}

void MeasurementArchive::RollbackBatch()
{
    if (m_db.isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

std::optional<DownloadHandle> MeasurementArchive::BeginDownload(const DownloadStart &start,
                                                                const QString &pendingServer)
{
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
    QSqlQuery insert;
    const QVariant pending =
        pendingServer.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(pendingServer);
    if (!Run(insert,
             "INSERT INTO downloads (uid, instrument_id, identity_id, host, os_user, started_at, mode, range_from,"
             " range_to, pending_server) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
             {start.uid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : start.uid, *instrument,
              *identity, start.host, start.osUser, start.startedAt, DownloadModeName(start.mode),
              Optional(start.rangeFrom), Optional(start.rangeTo), pending}) ||
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
    QSqlQuery upsert(m_db);
    upsert.prepare(QStringLiteral("INSERT INTO continuous_runs (download_id, record_count, average, minimum, maximum,"
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
    if (!PrepareDownloadUpdates())
        return false;
    m_setRowCount.bindValue(0, rowCount);
    m_setRowCount.bindValue(1, handle.downloadId);
    return Exec(m_setRowCount);
}

bool MeasurementArchive::FinishDownload(const DownloadHandle &handle, qint64 endedAt, int resultCode, int rowCount,
                                        int damaged)
{
    if (!PrepareDownloadUpdates())
        return false;
    m_finishDownload.bindValue(0, endedAt);
    m_finishDownload.bindValue(1, resultCode);
    m_finishDownload.bindValue(2, rowCount);
    m_finishDownload.bindValue(3, resultCode >= 0 && damaged == 0 ? 1 : 0);
    m_finishDownload.bindValue(4, damaged);
    m_finishDownload.bindValue(5, handle.downloadId);
    return Exec(m_finishDownload);
}

bool MeasurementArchive::PrepareDownloadUpdates()
{
    // Kept prepared, and both at the first batch: on a server each preparation is a round trip of its
    // own, which the download's end then does not wait for.
    return !m_finishDownload.lastQuery().isEmpty() ||
           (Prepare(m_setRowCount, "UPDATE downloads SET row_count = ? WHERE id = ?") &&
            Prepare(m_finishDownload, "UPDATE downloads SET ended_at = ?, result_code = ?, row_count = ?,"
                                      " complete = ?, damaged_count = ? WHERE id = ?"));
}

std::optional<QList<DownloadSummary>> MeasurementArchive::SelectDownloads(const QString &where,
                                                                          const QVariantList &values, int limit)
{
    QString sql =
        QString::fromLatin1(kDownloadColumns) + where + QStringLiteral(" ORDER BY d.started_at DESC, d.id DESC");
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        Fail(query.lastError());
        return std::nullopt;
    }
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
        downloads << d;
    }
    return downloads;
}

std::optional<QList<DownloadSummary>> MeasurementArchive::ListDownloads(const DownloadFilter &filter)
{
    QStringList conditions;
    QVariantList values;
    if (filter.serial == QLatin1String("-")) {
        // The text an erased serial shows: those instruments only.
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
    const QString where =
        conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QLatin1String(" AND "));
    return SelectDownloads(where, values, filter.limit);
}

std::optional<ArchivedDownload> MeasurementArchive::LoadDownload(qint64 id)
{
    const std::optional<QList<DownloadSummary>> found = SelectDownloads(QStringLiteral(" WHERE d.id = ?"), {id}, 1);
    if (!found || found->isEmpty())
        return std::nullopt;
    ArchivedDownload download;
    download.summary = found->first();
    QSqlQuery records(m_db);
    records.setForwardOnly(true);
    if (download.summary.mode == DownloadMode::Memory) {
        records.prepare(QStringLiteral("SELECT r.position, s.record_time, s.raw_force, s.setting_code"
                                       " FROM download_records r JOIN stored_records s ON s.id = r.record_id"
                                       " WHERE r.download_id = ? ORDER BY r.position"));
    } else {
        QSqlQuery run(m_db);
        run.prepare(QStringLiteral("SELECT record_count, average, minimum, maximum, deviation FROM continuous_runs"
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
        records.prepare(QStringLiteral("SELECT position, record_time, raw_force, setting_code FROM continuous_records"
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

std::optional<QList<qint64>> MeasurementArchive::PendingDownloads(const QString &server)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT id FROM downloads WHERE pending_server = ? ORDER BY id"));
    query.addBindValue(server);
    if (!Exec(query))
        return std::nullopt;
    QList<qint64> ids;
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

bool MeasurementArchive::MarkSent(qint64 id)
{
    QSqlQuery update(m_db);
    update.prepare(QStringLiteral("UPDATE downloads SET pending_server = NULL WHERE id = ?"));
    update.addBindValue(id);
    return Exec(update);
}

bool MeasurementArchive::ImportDownload(const ArchivedDownload &download)
{
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
             " range_from, range_to, result_code, row_count, complete, damaged_count)"
             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
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
              d.complete ? 1 : 0, d.damaged}) ||
        !upsert.next()) {
        RollbackBatch();
        return false;
    }
    const DownloadHandle handle{upsert.value(0).toLongLong(), *instrument};
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
