#pragma once

#include <QString>

class MeasurementArchive;

// The roles a plant's server archive is used with. Stations log in with roles that are members of the
// station role; the web view and reports with members of the reader role.
struct ArchiveRoles {
    QString station = QStringLiteral("tonvale_station");
    QString reader = QStringLiteral("tonvale_reader");
};

// Run once by the database's owner (and again after an upgrade): brings the archive's schema up to date
// (opening `owner` did) and makes the two roles (NOLOGIN, when missing) with what they may do:
// - the station role reads everything, adds instruments, identities, downloads and records, and
//   updates and adds to only the downloads its own login made (row-level security on the download's
//   owning role); it never owns or creates tables;
// - the reader role only reads.
// Safe to repeat. Returns an empty text, or the Korean reason with the server's text.
QString SetUpServerArchive(MeasurementArchive &owner, const ArchiveRoles &roles);
