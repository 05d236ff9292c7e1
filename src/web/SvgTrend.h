#pragma once

#include "PressRegister.h"

#include <QString>

// The trend of a press's checks as an inline SVG element drawn by the server: each check's mean as a point
// with its minimum-maximum span against the day it was measured, failing checks marked, the range the press is
// judged against now as a band.
QString SvgPressTrend(const QList<PressCheck> &checks, const std::optional<ForceRange> &range);
