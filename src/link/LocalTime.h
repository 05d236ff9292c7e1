#pragma once

#include <QDate>
#include <QString>

#include <optional>

// Calendar fields of a local time.
struct LocalFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Seconds since 1970 of a local calendar time, daylight saving left to the system. Fails on year
// below 1900, month outside 1..12, a day the month does not have, hour above 23, minute or second
// above 59.
std::optional<qint64> LocalTimeFromFields(const LocalFields &fields);

// The local calendar fields of a time; nullopt when the C library cannot convert it.
std::optional<LocalFields> LocalFieldsOf(qint64 secondsSince1970);

// The local calendar day of a time; invalid when the C library cannot convert it.
QDate LocalDateOf(qint64 secondsSince1970);

// The first second of a local calendar day; nullopt for an invalid day.
std::optional<qint64> LocalDayStart(QDate day);

// "%Y-%m-%d %H:%M:%S" in local time; empty when the time cannot be converted.
QString FormatLocalTime(qint64 secondsSince1970);
