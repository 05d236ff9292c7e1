#pragma once

#include "PressRegister.h"

#include <QList>
#include <QRectF>

class QPainter;

// The trend of a press's checks: each check's mean with its minimum-maximum span against the time it was
// measured, the press's range as a band. Drawn with a painter, so that the window and the history PDF show
// the same picture.
struct PressTrend {
    QList<PressCheck> checks; // any order
    std::optional<ForceRange> range;
};

enum class TrendLook { Screen, Paper }; // dark for the window, light for the PDF

void PaintPressTrend(QPainter &painter, const QRectF &area, const PressTrend &trend, TrendLook look);
