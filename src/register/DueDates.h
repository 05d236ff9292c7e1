#pragma once

#include <QDate>
#include <QString>

#include <optional>

// When a press is due for its next check, in local calendar days: its interval after the day of its last
// check; a press never checked is due today.
enum class DueState { Overdue, DueSoon, OnTime };

struct DueDate {
    static constexpr int kSoonDays = 7;
    QDate due;
    DueState state = DueState::OnTime;
    int daysLeft = 0; // negative when overdue
};

// lastCheckAt and now are seconds since 1970; the days are the local calendar's.
DueDate DueDateOf(std::optional<qint64> lastCheckAt, int intervalDays, qint64 now);

// "초과", "임박", "정상".
QString DueStateText(DueState state);
