#include "DueDates.h"

#include "LocalTime.h"

DueDate DueDateOf(std::optional<qint64> lastCheckAt, int intervalDays, qint64 now)
{
    DueDate result;
    const QDate today = LocalDateOf(now);
    result.due = lastCheckAt ? LocalDateOf(*lastCheckAt).addDays(intervalDays) : today;
    result.daysLeft = int(today.daysTo(result.due));
    if (result.daysLeft < 0)
        result.state = DueState::Overdue;
    else if (result.daysLeft <= DueDate::kSoonDays)
        result.state = DueState::DueSoon;
    return result;
}

QString DueStateText(DueState state)
{
    switch (state) {
    case DueState::Overdue: return QStringLiteral("초과");
    case DueState::DueSoon: return QStringLiteral("임박");
    case DueState::OnTime: break;
    }
    return QStringLiteral("정상");
}
