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
    WebResponse Bad(const WebRequest &request, const QString &message) const;
    WebResponse NotFound(const WebRequest &request, const QString &message) const;
};

// A time or count that may be missing, as JSON (null when it is).
inline QJsonValue OptionalJson(const std::optional<qint64> &value)
{
    return value ? QJsonValue(double(*value)) : QJsonValue();
}
