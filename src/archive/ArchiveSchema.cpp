#include "ArchiveSchema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace {

// Version 3 in both dialects, after the identities' fields may be NULL.
QStringList Version3Shared()
{
    QStringList columns{QStringLiteral("instrument_id")};
    for (const char *field : {"name", "lc15_serial", "lc30_serial", "lc30_cover_serial", "serial", "lc15_cover_serial",
                              "lc25_cover_serial", "firmware"})
        columns << QStringLiteral("(COALESCE(%1, ''))").arg(QLatin1String(field))
                << QStringLiteral("(%1 IS NULL)").arg(QLatin1String(field));
    return {QStringLiteral("CREATE UNIQUE INDEX identities_unique ON identities (%1)").arg(columns.join(", ")),
            // Records that arrived damaged and were left out: such a download is incomplete.
            QStringLiteral("ALTER TABLE downloads ADD COLUMN damaged_count INTEGER NOT NULL DEFAULT 0")};
}

// %ID% is the dialect's auto-numbered 64-bit key, %UID% an expression giving a fresh random text for a
// row, %NEWID% one outside any row, %CURRENT_ROLE% the role writing (nothing on SQLite).
const QStringList &VersionSteps(int version, SqlDialect dialect)
{
    static const QStringList kVersion1{
        "CREATE TABLE instruments (id %ID%, instrument_key TEXT NOT NULL UNIQUE, serial TEXT NOT NULL)",
        "CREATE INDEX instruments_by_serial ON instruments (serial)",
        "CREATE TABLE identities (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments (id),"
        " name TEXT NOT NULL, lc15_serial TEXT NOT NULL, lc30_serial TEXT NOT NULL,"
        " lc30_cover_serial TEXT NOT NULL, serial TEXT NOT NULL, lc15_cover_serial TEXT NOT NULL,"
        " lc25_cover_serial TEXT NOT NULL, firmware TEXT NOT NULL,"
        " UNIQUE (instrument_id, name, lc15_serial, lc30_serial, lc30_cover_serial, serial,"
        " lc15_cover_serial, lc25_cover_serial, firmware))",
        "CREATE TABLE downloads (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments (id),"
        " identity_id BIGINT NOT NULL REFERENCES identities (id), host TEXT NOT NULL, os_user TEXT NOT NULL,"
        " started_at BIGINT NOT NULL, ended_at BIGINT, mode TEXT NOT NULL CHECK (mode IN ('MEMORY', 'OUTPUT')),"
        " range_from BIGINT, range_to BIGINT, result_code INTEGER, row_count INTEGER NOT NULL DEFAULT 0,"
        " complete INTEGER NOT NULL DEFAULT 0)",
        "CREATE INDEX downloads_by_instrument ON downloads (instrument_id, started_at)",
        "CREATE INDEX downloads_by_time ON downloads (started_at)",
        "CREATE TABLE stored_records (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments (id),"
        " record_time TEXT NOT NULL, raw_force INTEGER NOT NULL, setting_code INTEGER NOT NULL,"
        " UNIQUE (instrument_id, record_time, raw_force, setting_code))",
        "CREATE TABLE download_records (download_id BIGINT NOT NULL REFERENCES downloads (id),"
        " position INTEGER NOT NULL, record_id BIGINT NOT NULL REFERENCES stored_records (id),"
        " PRIMARY KEY (download_id, position))",
        "CREATE INDEX download_records_by_record ON download_records (record_id)",
        "CREATE TABLE continuous_runs (download_id BIGINT PRIMARY KEY REFERENCES downloads (id),"
        " record_count INTEGER NOT NULL, average INTEGER NOT NULL, minimum INTEGER NOT NULL,"
        " maximum INTEGER NOT NULL, deviation INTEGER NOT NULL)",
        "CREATE TABLE continuous_records (download_id BIGINT NOT NULL REFERENCES downloads (id),"
        " position INTEGER NOT NULL, record_time TEXT NOT NULL, raw_force INTEGER NOT NULL,"
        " setting_code INTEGER NOT NULL, PRIMARY KEY (download_id, position))",
    };
    static const QStringList kVersion2{
        "ALTER TABLE downloads ADD COLUMN uid TEXT",
        "UPDATE downloads SET uid = %UID% WHERE uid IS NULL",
        "CREATE UNIQUE INDEX downloads_by_uid ON downloads (uid)",
        "ALTER TABLE downloads ADD COLUMN pending_server TEXT",
        "CREATE INDEX downloads_pending ON downloads (pending_server)",
    };
    // An identity field that could not be read is NULL. Identities stay unique with unknown fields too:
    // the index compares the texts and which of them are unknown. SQLite cannot drop NOT NULL, so it gets
    // the table anew (with foreign keys off, see MigrateArchive).
    static const QStringList kVersion3Sqlite =
        QStringList{
            "CREATE TABLE identities_v3 (id %ID%, instrument_id BIGINT NOT NULL REFERENCES instruments (id),"
            " name TEXT, lc15_serial TEXT, lc30_serial TEXT, lc30_cover_serial TEXT, serial TEXT,"
            " lc15_cover_serial TEXT, lc25_cover_serial TEXT, firmware TEXT)",
            "INSERT INTO identities_v3 SELECT id, instrument_id, name, lc15_serial, lc30_serial, lc30_cover_serial,"
            " serial, lc15_cover_serial, lc25_cover_serial, firmware FROM identities",
            "DROP TABLE identities",
            "ALTER TABLE identities_v3 RENAME TO identities",
        } +
        Version3Shared();
    static const QStringList kVersion3Postgres =
        QStringList{
            "ALTER TABLE identities ALTER COLUMN name DROP NOT NULL, ALTER COLUMN lc15_serial DROP NOT NULL,"
            " ALTER COLUMN lc30_serial DROP NOT NULL, ALTER COLUMN lc30_cover_serial DROP NOT NULL,"
            " ALTER COLUMN serial DROP NOT NULL, ALTER COLUMN lc15_cover_serial DROP NOT NULL,"
            " ALTER COLUMN lc25_cover_serial DROP NOT NULL, ALTER COLUMN firmware DROP NOT NULL",
        } +
        Version3Shared();
    static const QStringList kVersion4{
        // The archive's own identity: stations wait for an archive, however its address is spelt.
        "CREATE TABLE archive_identity (archive_id TEXT NOT NULL)",
        "INSERT INTO archive_identity (archive_id) VALUES (%NEWID%)",
        // A station's file: the server archive a pending download waits for (when known), why the server
        // refused it last, and how far it was written, so that what a sync saw can be told from what came
        // after.
        "ALTER TABLE downloads ADD COLUMN pending_archive TEXT",
        "ALTER TABLE downloads ADD COLUMN sync_error TEXT",
        "ALTER TABLE downloads ADD COLUMN sync_error_detail TEXT",
        "ALTER TABLE downloads ADD COLUMN written_at BIGINT",
        "ALTER TABLE downloads ADD COLUMN revision INTEGER NOT NULL DEFAULT 0",
        "CREATE TABLE server_archives (location TEXT PRIMARY KEY, archive_id TEXT NOT NULL)",
        // The identity's bytes as the instrument sent them, beside the decoded texts.
        "ALTER TABLE downloads ADD COLUMN identity_bytes TEXT",
        // On a server, the role that made a download: only it may finish it.
        "ALTER TABLE downloads ADD COLUMN owner_role TEXT NOT NULL DEFAULT %CURRENT_ROLE%",
    };
    static const QStringList kVersion5{
        // The plant's presses, keyed by asset number; a range in tenths of a ton, or none (class limits).
        "CREATE TABLE presses (id TEXT PRIMARY KEY, name TEXT NOT NULL, location TEXT NOT NULL DEFAULT '',"
        " press_class INTEGER NOT NULL CHECK (press_class BETWEEN 0 AND 2),"
        " interval_days INTEGER NOT NULL DEFAULT 30 CHECK (interval_days > 0),"
        " range_low INTEGER, range_high INTEGER, in_service INTEGER NOT NULL DEFAULT 1,"
        " CHECK ((range_low IS NULL) = (range_high IS NULL)), CHECK (range_low IS NULL OR range_low < range_high))",
        // A check keeps the range it was judged against, so that a later change of the press's range or the
        // station's limits does not rewrite its verdict; statistics in tons of the forces as shown.
        "CREATE TABLE press_checks (id %ID%, press_id TEXT NOT NULL REFERENCES presses (id),"
        " measured_at BIGINT NOT NULL, measured_until BIGINT NOT NULL, assigned_at BIGINT NOT NULL,"
        " assigned_by TEXT NOT NULL, station TEXT NOT NULL, range_low INTEGER, range_high INTEGER,"
        " record_count INTEGER NOT NULL, mean DOUBLE PRECISION NOT NULL, minimum DOUBLE PRECISION NOT NULL,"
        " maximum DOUBLE PRECISION NOT NULL, deviation DOUBLE PRECISION NOT NULL, verdict INTEGER NOT NULL,"
        " owner_role TEXT NOT NULL DEFAULT %CURRENT_ROLE%)",
        "CREATE INDEX press_checks_by_press ON press_checks (press_id, measured_at)",
        // A stored record (kept once per instrument) belongs to at most one check.
        "CREATE TABLE check_records (record_id BIGINT PRIMARY KEY REFERENCES stored_records (id),"
        " check_id BIGINT NOT NULL REFERENCES press_checks (id))",
        "CREATE INDEX check_records_by_check ON check_records (check_id)",
    };
    static const QStringList kNone;
    switch (version) {
    case 1: return kVersion1;
    case 2: return kVersion2;
    case 3: return dialect == SqlDialect::Sqlite ? kVersion3Sqlite : kVersion3Postgres;
    case 4: return kVersion4;
    case 5: return kVersion5;
    default: return kNone;
    }
}

QString ForDialect(QString statement, SqlDialect dialect)
{
    const bool sqlite = dialect == SqlDialect::Sqlite;
    statement.replace(QLatin1String("%ID%"),
                      sqlite ? QLatin1String("INTEGER PRIMARY KEY")
                             : QLatin1String("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    statement.replace(QLatin1String("%UID%"),
                      sqlite ? QLatin1String("lower(hex(randomblob(16)))")
                             : QLatin1String("md5(random()::text || clock_timestamp()::text || id::text)"));
    statement.replace(QLatin1String("%CURRENT_ROLE%"), sqlite ? QLatin1String("''") : QLatin1String("current_user"));
    statement.replace(QLatin1String("%NEWID%"),
                      sqlite ? QLatin1String("lower(hex(randomblob(16)))") : QLatin1String("gen_random_uuid()::text"));
    return statement;
}

bool Exec(QSqlDatabase &db, const QString &statement, QSqlError *error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    *error = query.lastError();
    return false;
}


// SQLite rebuilds a table by dropping the old one, which foreign keys would refuse while downloads refer
// to its rows (the new table keeps their ids). The setting can only change outside a transaction.
class SqliteForeignKeysOff {
  public:
    explicit SqliteForeignKeysOff(QSqlDatabase &db) : m_db(db)
    {
        QSqlQuery query(m_db);
        m_wasOn = query.exec(QStringLiteral("PRAGMA foreign_keys")) && query.next() && query.value(0).toInt() == 1;
        if (m_wasOn)
            query.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    }
    ~SqliteForeignKeysOff()
    {
        if (m_wasOn)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    }

  private:
    QSqlDatabase &m_db;
    bool m_wasOn = false;
};

} // namespace

std::optional<QStringList> ArchiveTables(QSqlDatabase &db, SqlDialect dialect, QSqlError *error)
{
    QSqlQuery query(db);
    if (!query.exec(dialect == SqlDialect::Sqlite
                        ? QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")
                        : QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema()"))) {
        *error = query.lastError();
        return std::nullopt;
    }
    QStringList names;
    while (query.next())
        names << query.value(0).toString();
    return names;
}

QStringList ForeignTables(const QStringList &tables, SqlDialect dialect)
{
    static const QStringList kOwnTables{"instruments",        "identities",       "downloads",
                                        "stored_records",     "download_records", "continuous_runs",
                                        "continuous_records", "archive_identity", "server_archives",
                                        "presses",            "press_checks",     "check_records"};
    QStringList foreign;
    for (const QString &table : tables)
        // A plant's database may hold other programs' tables beside ours; a file is ours alone.
        if (dialect == SqlDialect::Sqlite ? !table.startsWith(QLatin1String("sqlite_")) : kOwnTables.contains(table))
            foreign << table;
    return foreign;
}

SchemaResult MigrateArchive(QSqlDatabase &db, SqlDialect dialect, int targetVersion)
{
    SchemaResult result;
    const bool sqlite = dialect == SqlDialect::Sqlite;
    std::optional<SqliteForeignKeysOff> foreignKeysOff;
    if (sqlite)
        foreignKeysOff.emplace(db);
    if (!Exec(db, sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"), &result.error))
        return result;
    auto fail = [&] {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return result;
    };
    // Stations that open a new server together wait here for each other.
    if (!sqlite && !Exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(7340716)"), &result.error))
        return fail();
    // Asked first rather than "IF NOT EXISTS", which the server answers with a notice on stderr.
    const std::optional<QStringList> tables = ArchiveTables(db, dialect, &result.error);
    if (!tables)
        return fail();
    if (!tables->contains(QStringLiteral("schema_version"))) {
        if (!ForeignTables(*tables, dialect).isEmpty()) {
            result.foreign = true;
            result.error = QSqlError(ForeignTables(*tables, dialect).join(QLatin1String(", ")));
            return fail();
        }
        if (!Exec(db, QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"), &result.error))
            return fail();
    }
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("SELECT MAX(version) FROM schema_version"))) {
        result.error = version.lastError();
        return fail();
    }
    result.foundVersion = version.next() ? version.value(0).toInt() : 0;
    version.finish();
    if (result.foundVersion > kArchiveSchemaVersion) {
        result.newerThanKnown = true;
        return fail();
    }
    for (int v = result.foundVersion + 1; v <= targetVersion; ++v)
        for (const QString &step : VersionSteps(v, dialect))
            if (!Exec(db, ForDialect(step, dialect), &result.error))
                return fail();
    if (targetVersion > result.foundVersion) {
        QSqlQuery update(db);
        update.prepare(result.foundVersion == 0 ? QStringLiteral("INSERT INTO schema_version (version) VALUES (?)")
                                                : QStringLiteral("UPDATE schema_version SET version = ?"));
        update.addBindValue(targetVersion);
        if (!update.exec()) {
            result.error = update.lastError();
            return fail();
        }
    }
    if (!Exec(db, QStringLiteral("COMMIT"), &result.error))
        return fail();
    result.ok = true;
    return result;
}
