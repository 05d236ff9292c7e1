#pragma once

#include "ArchivePages.h"
#include "WebArchive.h"

#include <QJsonValue>

#include <optional>

// What the archive's pages share: the router (for the page frame), the setting, and the error answers.
struct PageContext {
    const WebRouter &router;
    ArchivePagesSetting setting;

    // Runs work on the archive; false with the 503 answer in failure when the archive cannot be used.
    bool Read(const WebRequest &request, const WebArchive::Work &work, WebResponse &failure) const;
    // Reads one thing by its id: load returns it, or nullopt with the archive's LastError() telling a failure
    // from there being no such thing. False with the 503 answer, or the 404 page saying notFound, in failure.
    template <typename T, typename Load>
    bool ReadOne(const WebRequest &request, Load load, std::optional<T> &found, const QString &notFound,
                 WebResponse &failure) const
    {
        const auto work = [&](MeasurementArchive &archive, ArchiveError &error) {
            found = load(archive);
            error = archive.LastError();
            return found || error.kind == ArchiveError::Kind::None;
        };
        if (!Read(request, work, failure))
            return false;
        if (!found)
            failure = NotFound(request, notFound);
        return found.has_value();
    }
    WebResponse Bad(const WebRequest &request, const QString &message) const;
    WebResponse NotFound(const WebRequest &request, const QString &message) const;
};

// A time or count that may be missing, as JSON (null when it is).
inline QJsonValue OptionalJson(const std::optional<qint64> &value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue();
}
