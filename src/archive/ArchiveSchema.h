#pragma once

#include <QSqlDatabase>
#include <QString>

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

inline constexpr int kArchiveSchemaVersion = 3;

enum class SqlDialect { Sqlite, Postgres };

struct SchemaResult {
    bool ok = false;
    int foundVersion = 0; // the version the archive had before
    QString error;        // the database's text when ok is false
    bool newerThanKnown = false;
};

// Brings db up to targetVersion (tests may stop at an earlier one). Never touches an archive of a version
// this program does not know.
SchemaResult MigrateArchive(QSqlDatabase &db, SqlDialect dialect, int targetVersion = kArchiveSchemaVersion);
