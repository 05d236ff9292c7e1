#pragma once

#include <QTest>
#include <QTime>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <ctime>

// 2024-05-01 10:00:00 in Seoul.
inline constexpr qint64 kMay1_1000 = 1714525200;

// When the shown windows' clock starts: 2024-05-01 10:00 in Seoul, or at the hour and minute of that day
// in TONVALE_WINDOW_TEST_AT ("00:30"), so that the same tests also run where the UTC date is the day
// before Seoul's.
inline qint64 WindowTestStart()
{
    const QTime at = QTime::fromString(qEnvironmentVariable("TONVALE_WINDOW_TEST_AT"), QStringLiteral("HH:mm"));
    if (!at.isValid())
        return kMay1_1000;
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 1;
    local.tm_hour = at.hour();
    local.tm_min = at.minute();
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// A click at the middle of a widget, sent to its window as the window system would.
inline void ClickOn(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    QVERIFY(window);
    QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(widget->window(), widget->rect().center()));
}
