#pragma once

#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <ctime>

// The window tests run in Seoul's time, whatever the machine's zone.
inline const bool kWindowTestsInSeoul = [] {
    setenv("TZ", "Asia/Seoul", 1);
    tzset();
    return true;
}();

// 2024-05-01 10:00:00 in Seoul.
inline constexpr qint64 kMay1_1000 = 1714525200;

// A click at the middle of a widget, sent to its window as the window system would.
inline void ClickOn(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    QVERIFY(window);
    QTest::mouseClick(window, Qt::LeftButton, {}, widget->mapTo(widget->window(), widget->rect().center()));
}
