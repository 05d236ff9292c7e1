#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

// Sizes a window to `wanted`, but never larger than the free area of its screen (a 1366 x 768 laptop, a
// scaled desktop), so that its buttons stay reachable.
inline void ResizeWithinScreen(QWidget *window, QSize wanted)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QSize room = screen->availableGeometry().size() * 0.92;
        wanted = wanted.boundedTo(room);
    }
    window->resize(wanted);
}
