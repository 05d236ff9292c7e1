#pragma once

#include "InstrumentIdentity.h"

#include <QPoint>

#include <array>

// Where the main window's device grid shows each identity field (in kIdentityFields order): values in
// columns 2 and 4, each beside its label in the column to its left.
inline constexpr std::array<QPoint, InstrumentIdentity::kFieldCount> kIdentityCells = {{
    {2, 3}, // 측정기 명
    {2, 4}, // 15톤 로드셀 S/N
    {2, 5}, // 30톤 로드셀 S/N
    {2, 6}, // 30톤 로드셀 커버 S/N
    {4, 3}, // 측정기 S/N
    {4, 4}, // 15톤 로드셀 커버 S/N
    {4, 5}, // 25톤 로드셀 커버 S/N
    {4, 6}, // 버전 정보
}};
