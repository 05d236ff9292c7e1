#pragma once

#include "ArchiveLocation.h"
#include "MeasurementArchive.h"
#include "PressClassLimits.h"

#include <QList>

#include <functional>
#include <optional>

// One instrument as the instruments page lists it.
struct InstrumentSummary {
    qint64 id = 0;
    QString serial;
    QString name; // of its latest identity
    qint64 downloads = 0;
    std::optional<qint64> lastStartedAt;
};

// One identity an instrument was read with, and when.
struct IdentitySeen {
    InstrumentIdentity identity;
    qint64 firstStartedAt = 0;
    qint64 lastStartedAt = 0;
    qint64 downloads = 0;
};

// How many checks of presses of one class were judged one way.
struct CheckVerdictCount {
    int pressClass = 0;
    Verdict verdict = Verdict::None;
    qint64 checks = 0;
};

// The archive as the web view reads it: each server thread has a connection of its own, opened for reading
// only (SQLite: query_only; PostgreSQL: read-only transactions), and opened again after a failure, so that
// the view recovers when the database comes back.
class WebArchive {
  public:
    explicit WebArchive(ArchiveLocation location);
    ~WebArchive();
    WebArchive(const WebArchive &) = delete;
    WebArchive &operator=(const WebArchive &) = delete;

    const ArchiveLocation &Location() const { return m_location; }

    // Runs work on this thread's connection. A failure (the work returned false after setting *error) closes
    // the connection; one that lost the server is tried once more on a new one. False with *error when the
    // work could not be done.
    using Work = std::function<bool(MeasurementArchive &archive, ArchiveError &error)>;
    bool Use(const Work &work, ArchiveError *error);

    // Reads beyond the archive's own, on a connection Use() handed out; nullopt with *error on failure.
    static std::optional<QList<InstrumentSummary>> Instruments(MeasurementArchive &archive, ArchiveError &error);
    static std::optional<QList<IdentitySeen>> IdentitiesOfSerial(MeasurementArchive &archive, const QString &serial,
                                                                 ArchiveError &error);

    // The checks measured since `since` (seconds since 1970), counted by their press's class and verdict.
    static std::optional<QList<CheckVerdictCount>> CheckVerdictsSince(MeasurementArchive &archive, qint64 since,
                                                                      ArchiveError &error);

    // On a server: whether the role logged in with may change downloads (then it is not the read-only role).
    static std::optional<bool> RoleMayWrite(MeasurementArchive &archive, ArchiveError &error);

  private:
    ArchiveLocation m_location;
    const quint64 m_generation; // tells this archive's connections from those of an earlier one
};
