#pragma once

#include <QList>
#include <QString>

#include <utility>

#include <optional>

// Where the archive lives: an SQLite file, or a PostgreSQL server given by a libpq URI
// ("postgresql://user@host:port/dbname", "?host=/dir" for a Unix socket). Passwords never appear in a
// location: libpq takes them from its password file or the environment.
struct ArchiveLocation {
    enum class Kind { Sqlite, Postgres };
    Kind kind = Kind::Sqlite;
    QString sqlitePath;
    // PostgreSQL: the parts Qt's driver takes. host may be a socket directory.
    QString host;
    int port = -1;
    QString user;
    QString database;
    // Further libpq connection options (sslmode, application_name, ...), parsed and checked; never a password.
    QList<std::pair<QString, QString>> options;
    // The PostgreSQL schema the archive's tables live in, whatever the role's search_path says.
    QString schema = QStringLiteral("public");

    bool IsServer() const { return kind == Kind::Postgres; }
    // The location as it may be shown and logged.
    QString Describe() const;
    // The options as Qt's PostgreSQL driver takes them: each value quoted for libpq.
    QString ConnectOptions() const;
    bool operator==(const ArchiveLocation &) const = default;
};

// The file name of the archive in the configuration file's folder.
inline constexpr const char *kArchiveFileName = "archive.sqlite";

// The archive beside the configuration file when nothing else is configured.
ArchiveLocation DefaultArchiveLocation(const QString &configDir);

// "sqlite:PATH" or a "postgresql://" (or "postgres://") URI. nullopt with a Korean reason in *error on
// anything else, and on a URI that carries a password in any form (user info, an option, an escape). The
// URI's own "schema" option names the PostgreSQL schema (default public). Error texts never show a password.
std::optional<ArchiveLocation> ParseArchiveLocation(const QString &url, QString *error);

// The URL as it may be shown: anything that could be a password replaced by "****".
QString MaskedUrl(const QString &url);

// [ARCHIVE] DATABASE= of the configuration text, else the default location. A relative sqlite path is
// taken from configDir.
std::optional<ArchiveLocation> ConfiguredArchiveLocation(const std::optional<QString> &iniText,
                                                         const QString &configDir, QString *error);
