#include "LocalTime.h"

#include <QDate>

#include <ctime>

std::optional<qint64> LocalTimeFromFields(const LocalFields &f)
{
    if (f.year < 1900 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour < 0 || f.hour > 23 ||
        f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59)
        return std::nullopt;
    // A day the month does not have (31 April, 29 February outside a leap year) is no calendar time
    // either; the C library would move it into the next month.
    if (!QDate::isValid(f.year, f.month, f.day))
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31))
        return std::nullopt;
    return static_cast<qint64>(t);
}

std::optional<LocalFields> LocalFieldsOf(qint64 secondsSince1970)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return std::nullopt;
    return LocalFields{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

QDate LocalDateOf(qint64 secondsSince1970)
{
    const auto f = LocalFieldsOf(secondsSince1970);
    return f ? QDate(f->year, f->month, f->day) : QDate();
}

std::optional<qint64> LocalDayStart(QDate day)
{
    if (!day.isValid())
        return std::nullopt;
    return LocalTimeFromFields({day.year(), day.month(), day.day(), 0, 0, 0});
}

QString FormatLocalTime(qint64 secondsSince1970)
{
    const auto f = LocalFieldsOf(secondsSince1970);
    if (!f)
        return QString();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f->year, f->month, f->day, f->hour, f->minute, f->second);
}
