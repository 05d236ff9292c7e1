#include "ArchiveSetup.h"

#include "MeasurementArchive.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {

// The download a row belongs to is one the current login made.
const char *const kOwnDownload =
    "EXISTS (SELECT 1 FROM downloads d WHERE d.id = download_id AND d.owner_role = current_user)";

// The statements that give the roles their rights; %S% is the schema, %STATION% and %READER% the roles,
// all quoted.
QStringList GrantStatements()
{
    QStringList statements{
        "REVOKE ALL ON ALL TABLES IN SCHEMA %S% FROM %STATION%, %READER%",
        "GRANT USAGE ON SCHEMA %S% TO %STATION%, %READER%",
        "GRANT SELECT ON ALL TABLES IN SCHEMA %S% TO %STATION%, %READER%",
        "GRANT INSERT ON %S%.instruments, %S%.identities, %S%.downloads, %S%.stored_records,"
        " %S%.download_records, %S%.continuous_runs, %S%.continuous_records TO %STATION%",
        // What a station writes when it finishes a download or completes one it sends on later.
        "GRANT UPDATE (ended_at, result_code, row_count, complete, damaged_count, written_at, revision, pending_server)"
        " ON %S%.downloads TO %STATION%",
        "GRANT UPDATE ON %S%.continuous_runs TO %STATION%",
        // The press register is the plant's: every station adds and edits presses and assigns checks,
        // moving a record from one check to another when the operator says so. Presses are retired, never
        // deleted.
        "GRANT INSERT, UPDATE ON %S%.presses TO %STATION%",
        "GRANT INSERT, UPDATE, DELETE ON %S%.press_checks, %S%.check_records TO %STATION%",
        "GRANT USAGE ON ALL SEQUENCES IN SCHEMA %S% TO %STATION%",
        "ALTER TABLE %S%.downloads ENABLE ROW LEVEL SECURITY",
        "DROP POLICY IF EXISTS tonvale_read ON %S%.downloads",
        "CREATE POLICY tonvale_read ON %S%.downloads FOR SELECT USING (true)",
        "DROP POLICY IF EXISTS tonvale_add ON %S%.downloads",
        "CREATE POLICY tonvale_add ON %S%.downloads FOR INSERT TO %STATION% WITH CHECK (owner_role = current_user)",
        "DROP POLICY IF EXISTS tonvale_finish ON %S%.downloads",
        "CREATE POLICY tonvale_finish ON %S%.downloads FOR UPDATE TO %STATION% USING (owner_role = current_user)"
        " WITH CHECK (owner_role = current_user)",
    };
    // A download's records and run are added only to the station's own downloads.
    for (const char *table : {"download_records", "continuous_records", "continuous_runs"}) {
        const QString t = QString::fromLatin1(table);
        statements << QStringLiteral("ALTER TABLE %S%.%1 ENABLE ROW LEVEL SECURITY").arg(t)
                   << QStringLiteral("DROP POLICY IF EXISTS tonvale_read ON %S%.%1").arg(t)
                   << QStringLiteral("CREATE POLICY tonvale_read ON %S%.%1 FOR SELECT USING (true)").arg(t)
                   << QStringLiteral("DROP POLICY IF EXISTS tonvale_add ON %S%.%1").arg(t)
                   << QStringLiteral("CREATE POLICY tonvale_add ON %S%.%1 FOR INSERT TO %STATION% WITH CHECK (%2)")
                          .arg(t, QString::fromLatin1(kOwnDownload))
                   << QStringLiteral("DROP POLICY IF EXISTS tonvale_finish ON %S%.%1").arg(t);
        if (t == QLatin1String("continuous_runs"))
            statements << QStringLiteral("CREATE POLICY tonvale_finish ON %S%.%1 FOR UPDATE TO %STATION% USING (%2)")
                              .arg(t, QString::fromLatin1(kOwnDownload));
    }
    return statements;
}

QString Failed(const QSqlError &error)
{
    const ArchiveError::Kind kind = error.nativeErrorCode() == QLatin1String("42501")
                                        ? ArchiveError::Kind::PermissionDenied
                                        : ArchiveError::Kind::Other;
    const QString reason = ArchiveError{kind, error.text()}.Reason();
    return kind == ArchiveError::Kind::Other ? reason : reason + QStringLiteral(" (%1)").arg(error.text());
}

} // namespace

QString SetUpServerArchive(MeasurementArchive &owner, const ArchiveRoles &roles)
{
    QSqlDatabase &db = owner.Database();
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT quote_ident(current_schema()), quote_ident(?), quote_ident(?),"
                                 " EXISTS (SELECT 1 FROM pg_roles WHERE rolname = ?),"
                                 " EXISTS (SELECT 1 FROM pg_roles WHERE rolname = ?)"));
    for (const QString &value : {roles.station, roles.reader, roles.station, roles.reader})
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return Failed(query.lastError());
    const QString schema = query.value(0).toString();
    const QString station = query.value(1).toString();
    const QString reader = query.value(2).toString();
    QStringList statements;
    if (!query.value(3).toBool())
        statements << QStringLiteral("CREATE ROLE %STATION% NOLOGIN");
    if (!query.value(4).toBool())
        statements << QStringLiteral("CREATE ROLE %READER% NOLOGIN");
    query.finish();
    statements << GrantStatements();

    if (!query.exec(QStringLiteral("BEGIN")))
        return Failed(query.lastError());
    for (QString statement : statements) {
        statement.replace(QLatin1String("%S%"), schema);
        statement.replace(QLatin1String("%STATION%"), station);
        statement.replace(QLatin1String("%READER%"), reader);
        if (!query.exec(statement)) {
            const QString failure = Failed(query.lastError());
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            return failure;
        }
    }
    if (!query.exec(QStringLiteral("COMMIT")))
        return Failed(query.lastError());
    return QString();
}
