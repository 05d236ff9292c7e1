#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

#include <optional>

// The archive's tables, version by version. Each version is a list of statements that turns the
// previous version into it; an archive is brought up to kArchiveSchemaVersion when it is opened, in one
// transaction, so that two stations opening a new server at once cannot both create it.
//
// Version 1: instruments, the identities they were read with, downloads, stored records (once per
//            instrument) linked to the downloads that saw them, continuous runs and their records.
// Version 2: downloads get a station-independent uid and the server they still wait for, so that a
//            download kept locally while the server was down can be sent on later exactly once.
// Version 3: identity fields that could not be read are NULL (unknown, not empty); downloads keep how many
//            records arrived damaged and were left out.
// Version 4: the archive's own random id; on a station's file, what a pending download waits for (the
//            server archive's id, why it was refused) and a revision that changes with every write to it,
//            the ids of the server archives the station has reached, each download's identity bytes and,
//            on a server, the role that made it.
// Version 5: the press register: presses, their checks and the stored records each check holds.

inline constexpr int kArchiveSchemaVersion = 5;

enum class SqlDialect { Sqlite, Postgres };

struct SchemaResult {
    bool ok = false;
    int foundVersion = 0; // the version the archive had before
    QSqlError error;      // the database's error when ok is false
    bool newerThanKnown = false;
    bool foreign = false; // the tables belong to another program (error names them); nothing was changed
};

// The tables of the archive's schema (of the file, on SQLite); nullopt with the database's error in *error.
std::optional<QStringList> ArchiveTables(QSqlDatabase &db, SqlDialect dialect, QSqlError *error);

// Of the tables found where no archive is (no schema_version), those that tell it belongs to another
// program: in an SQLite file any table; on a server, a table with one of the archive's names.
QStringList ForeignTables(const QStringList &tables, SqlDialect dialect);

// Brings db up to targetVersion (tests may stop at an earlier one). Never touches an archive of a version
// this program does not know.
SchemaResult MigrateArchive(QSqlDatabase &db, SqlDialect dialect, int targetVersion = kArchiveSchemaVersion);
