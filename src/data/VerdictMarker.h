#pragma once

#include "PressClassLimits.h"
#include "RecordTables.h"

// Colours that read on the dark theme's grid and on a light one (Windows RGB values).
namespace verdict_colors {
constexpr int kPass = grid::Rgb(110, 214, 120);
constexpr int kFail = grid::Rgb(255, 112, 100);
} // namespace verdict_colors

// The grid's force-cell marker for these limits: a record of a class with a range gets the pass or fail colour
// and the tooltip "합격 (기준 10.0 ~ 13.0 톤)" / "불합격 (기준 …)"; every other record is shown plainly. Empty
// limits give an empty function, so nothing changes.
ForceCellMarker VerdictMarker(const PressClassLimits &limits);

// "합격 (기준 10.0 ~ 13.0 톤)".
QString VerdictToolTip(Verdict verdict, const ForceRange &range);
