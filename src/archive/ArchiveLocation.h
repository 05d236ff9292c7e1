#pragma once

#include <QString>

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
    QString options; // further libpq connection options, "key=value" separated by ';'

    bool IsServer() const { return kind == Kind::Postgres; }
    // The location as it may be shown and logged.
    QString Describe() const;
    bool operator==(const ArchiveLocation &) const = default;
};

// The file name of the archive in the configuration file's folder.
inline constexpr const char *kArchiveFileName = "archive.sqlite";

// The archive beside the configuration file when nothing else is configured.
ArchiveLocation DefaultArchiveLocation(const QString &configDir);

// "sqlite:PATH" or a "postgresql://" (or "postgres://") URI. nullopt with a Korean reason in *error on
// anything else, and on a URI that carries a password.
std::optional<ArchiveLocation> ParseArchiveLocation(const QString &url, QString *error);

// [ARCHIVE] DATABASE= of the configuration text, else the default location. A relative sqlite path is
// taken from configDir.
std::optional<ArchiveLocation> ConfiguredArchiveLocation(const std::optional<QString> &iniText,
                                                         const QString &configDir, QString *error);
