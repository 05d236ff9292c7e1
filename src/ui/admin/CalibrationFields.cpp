#include "CalibrationFields.h"

#include "Commands.h"

namespace Calibration {

namespace {

uint32_t Unsigned24(const uint8_t *p)
{
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

// The three non-zero reference forces of each load cell, in KN.
constexpr int kForces[2][3] = {{80, 110, 140}, {160, 220, 280}};

} // namespace

Table Decode(const uint8_t *answer)
{
    Table table;
    for (int i = 0; i < 4; ++i)
        table.points[i] = Unsigned24(answer + 3 * i);
    table.live = Unsigned24(answer + 12);
    for (int i = 0; i < 3; ++i)
        table.corrections[i] = (answer[15 + 2 * i] << 8 | answer[16 + 2 * i]) - kCorrectionOffset;
    return table;
}

uint8_t ReadCommand(int loadCell)
{
    return loadCell == 0 ? CMD_READ_CAL15 : CMD_READ_CAL30;
}

uint8_t CaptureCommand(int loadCell)
{
    return loadCell == 0 ? CMD_CAL15_FROM_LIVE : CMD_CAL30_FROM_LIVE;
}

std::optional<std::array<uint8_t, 3>> CorrectionWrite(int loadCell, int row, int value)
{
    if (value < kMinCorrection || value > kMaxCorrection || row < kFirstCorrectionRow || row > kLastCorrectionRow)
        return std::nullopt;
    const int index = (row - kFirstCorrectionRow) + (loadCell == 0 ? 0 : 3);
    const int field = value + kCorrectionOffset;
    return std::array<uint8_t, 3>{static_cast<uint8_t>(index), static_cast<uint8_t>(field >> 8),
                                  static_cast<uint8_t>(field & 0xFF)};
}

QString RowLabel(int loadCell, int row)
{
    const int *forces = kForces[loadCell == 0 ? 0 : 1];
    if (row == kFirstPointRow)
        return QStringLiteral("0 KN");
    if (row > kFirstPointRow && row <= kLastPointRow)
        return QStringLiteral("%1 KN").arg(forces[row - kFirstPointRow - 1]);
    if (row >= kFirstCorrectionRow && row <= kLastCorrectionRow)
        return QStringLiteral("%1 KN 보정 값").arg(forces[row - kFirstCorrectionRow]);
    return QString();
}

QString ModePrefix(int loadCell)
{
    return loadCell == 0 ? QStringLiteral("15톤 ") : QStringLiteral("30톤 ");
}

} // namespace Calibration
