#include "WebArchive.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <memory>

namespace {

QAtomicInteger<quint64> g_generations;

// This thread's connection and the archive it belongs to.
struct ThreadConnection {
    quint64 generation = 0;
    std::unique_ptr<MeasurementArchive> archive;
};
thread_local ThreadConnection t_connection;

// Opens a connection that cannot write, whatever the role or file would allow.
std::unique_ptr<MeasurementArchive> OpenReadOnly(const ArchiveLocation &location, ArchiveError *error)
{
    auto archive = std::make_unique<MeasurementArchive>(location);
    if (!archive->Open(MeasurementArchive::Purpose::Read)) {
        *error = archive->LastError();
        return nullptr;
    }
    QSqlQuery query(archive->Database());
    const QString statement = archive->Dialect() == SqlDialect::Sqlite
                                  ? QStringLiteral("PRAGMA query_only = ON")
                                  : QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    if (!query.exec(statement)) {
        *error = {ArchiveError::Kind::Other, query.lastError().text()};
        return nullptr;
    }
    return archive;
}

std::optional<qint64> OptionalInt(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<qint64>(value.toLongLong());
}

// Prepares sql, binds values in order and runs it; false with *error (a server that said nothing is lost).
bool Execute(QSqlQuery &query, const QString &sql, const QVariantList &values, ArchiveError &error)
{
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        const QString state = query.lastError().nativeErrorCode();
        const bool lost =
            state.isEmpty() || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
        error = {lost ? ArchiveError::Kind::Unreachable : ArchiveError::Kind::Other, query.lastError().text()};
    }
    return ok;
}

} // namespace

WebArchive::WebArchive(ArchiveLocation location) : m_location(std::move(location)), m_generation(++g_generations) {}

WebArchive::~WebArchive() = default;

bool WebArchive::Use(const Work &work, ArchiveError *error)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (t_connection.generation != m_generation || !t_connection.archive) {
            t_connection.archive.reset();
            t_connection.archive = OpenReadOnly(m_location, error);
            if (!t_connection.archive)
                return false;
            t_connection.generation = m_generation;
        }
        *error = {};
        if (work(*t_connection.archive, *error))
            return true;
        // A connection that failed is not trusted again; only a lost server is worth a second try at once.
        t_connection.archive.reset();
        if (!error->ServerLost())
            return false;
    }
    return false;
}

std::optional<QList<InstrumentSummary>> WebArchive::Instruments(MeasurementArchive &archive, ArchiveError &error)
{
    QSqlQuery query(archive.Database());
    if (!Execute(query,
                 QStringLiteral(
                     "SELECT n.id, n.serial, (SELECT i.name FROM downloads d JOIN identities i ON i.id = d.identity_id"
                     " WHERE d.instrument_id = n.id ORDER BY d.started_at DESC, d.id DESC LIMIT 1),"
                     " (SELECT COUNT(*) FROM downloads d WHERE d.instrument_id = n.id),"
                     " (SELECT MAX(d.started_at) FROM downloads d WHERE d.instrument_id = n.id)"
                     " FROM instruments n ORDER BY n.serial, n.id"),
                 {}, error))
        return std::nullopt;
    QList<InstrumentSummary> instruments;
    while (query.next())
        instruments << InstrumentSummary{query.value(0).toLongLong(), query.value(1).toString(),
                                         query.value(2).toString(), query.value(3).toLongLong(),
                                         OptionalInt(query.value(4))};
    return instruments;
}

std::optional<QList<IdentitySeen>> WebArchive::IdentitiesOfSerial(MeasurementArchive &archive, const QString &serial,
                                                                  ArchiveError &error)
{
    QSqlQuery query(archive.Database());
    if (!Execute(query,
                 QStringLiteral("SELECT i.name, i.lc15_serial, i.lc30_serial, i.lc30_cover_serial, i.serial,"
                                " i.lc15_cover_serial, i.lc25_cover_serial, i.firmware, MIN(d.started_at),"
                                " MAX(d.started_at), COUNT(*)"
                                " FROM downloads d JOIN identities i ON i.id = d.identity_id"
                                " JOIN instruments n ON n.id = d.instrument_id WHERE n.serial = ?"
                                " GROUP BY i.id, i.name, i.lc15_serial, i.lc30_serial, i.lc30_cover_serial, i.serial,"
                                " i.lc15_cover_serial, i.lc25_cover_serial, i.firmware ORDER BY MIN(d.started_at)"),
                 {serial}, error))
        return std::nullopt;
    QList<IdentitySeen> seen;
    while (query.next()) {
        IdentitySeen identity;
        for (int i = 0; i < InstrumentIdentity::kFieldCount; ++i)
            identity.identity.texts[i] = query.value(i).toString();
        identity.firstStartedAt = query.value(8).toLongLong();
        identity.lastStartedAt = query.value(9).toLongLong();
        identity.downloads = query.value(10).toLongLong();
        seen << identity;
    }
    return seen;
}

std::optional<QList<CheckVerdictCount>> WebArchive::CheckVerdictsSince(MeasurementArchive &archive, qint64 since,
                                                                       ArchiveError &error)
{
    QSqlQuery query(archive.Database());
    if (!Execute(query,
                 QStringLiteral("SELECT p.press_class, c.verdict, COUNT(*) FROM press_checks c"
                                " JOIN presses p ON p.id = c.press_id WHERE c.measured_at >= ?"
                                " GROUP BY p.press_class, c.verdict ORDER BY p.press_class, c.verdict"),
                 {since}, error))
        return std::nullopt;
    QList<CheckVerdictCount> counts;
    while (query.next()) {
        // As the register stores verdicts: 1 pass, 2 fail, 0 none.
        const int code = query.value(1).toInt();
        counts << CheckVerdictCount{query.value(0).toInt(),
                                    code == 1   ? Verdict::Pass
                                    : code == 2 ? Verdict::Fail
                                                : Verdict::None,
                                    query.value(2).toLongLong()};
    }
    return counts;
}

std::optional<bool> WebArchive::RoleMayWrite(MeasurementArchive &archive, ArchiveError &error)
{
    if (archive.Dialect() == SqlDialect::Sqlite)
        return false;
    QSqlQuery query(archive.Database());
    if (!Execute(query,
                 QStringLiteral("SELECT has_table_privilege('downloads', 'INSERT')"
                                " OR has_table_privilege('downloads', 'UPDATE')"
                                " OR has_table_privilege('downloads', 'DELETE')"
                                " OR has_table_privilege('stored_records', 'INSERT')"),
                 {}, error) ||
        !query.next())
        return std::nullopt;
    return query.value(0).toBool();
}
