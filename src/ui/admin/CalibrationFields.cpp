#include "CalibrationFields.h"

#include "Commands.h"

#include <cmath>

namespace Calibration {

namespace {

uint32_t Unsigned24(const uint8_t *p)
{
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

// The three non-zero reference forces of each load cell, in KN.
constexpr int kForces[2][3] = {{80, 110, 140}, {160, 220, 280}};

// The reference force of point `index` (0..3) in KN.
int PointForce(int loadCell, int index)
{
    return index == 0 ? 0 : kForces[loadCell == 0 ? 0 : 1][index - 1];
}

QString PointText(int loadCell, int index, uint32_t value)
{
    return QStringLiteral("%1 KN 값 '%2'").arg(PointForce(loadCell, index)).arg(value);
}

// Why the reading cannot be point `index`'s; empty when nothing speaks against it.
QString CaptureDoubt(int loadCell, int index, const std::array<uint32_t, 4> &points, uint32_t live)
{
    const QString reading = QStringLiteral("새 값 '%1'").arg(live);
    const bool aboveLower = index == 0 || live > points[index - 1];
    const bool belowUpper = index == 3 || live < points[index + 1];
    if (!aboveLower || !belowUpper) {
        QString where;
        if (index == 0)
            where = QStringLiteral("%1보다 작지 않습니다").arg(PointText(loadCell, 1, points[1]));
        else if (index == 3)
            where = QStringLiteral("%1보다 크지 않습니다").arg(PointText(loadCell, 2, points[2]));
        else
            where = QStringLiteral("%1과(와) %2 사이에 있지 않습니다")
                        .arg(PointText(loadCell, index - 1, points[index - 1]),
                             PointText(loadCell, index + 1, points[index + 1]));
        return QStringLiteral("%1이(가) %2. 보정표의 값은 하중이 클수록 커야 합니다.").arg(reading, where);
    }
    // The force the reading stands for on the line through the two nearest other points.
    const int a = index == 0 ? 1 : index == 3 ? 1 : index - 1;
    const int b = index == 0 ? 2 : index == 3 ? 2 : index + 1;
    if (points[b] <= points[a])
        return QString();
    const double forceA = PointForce(loadCell, a), forceB = PointForce(loadCell, b);
    const double force =
        forceA + (double(live) - double(points[a])) * (forceB - forceA) / (double(points[b]) - double(points[a]));
    const int expected = PointForce(loadCell, index);
    if (std::abs(force - expected) <= PointForce(loadCell, 3) / 10.0)
        return QString();
    return QStringLiteral("%1은(는) %2, %3 기준으로 약 %4 KN의 하중입니다. 로드셀에 %5 KN 하중이 걸려 있지 않은 "
                          "것 같습니다.")
        .arg(reading, PointText(loadCell, a, points[a]), PointText(loadCell, b, points[b]))
        .arg(std::lround(force))
        .arg(expected);
}

} // namespace

CaptureQuestion CaptureQuestionFor(int loadCell, int row, const std::array<uint32_t, 4> &points, uint32_t live)
{
    const int index = CapturePoint(row);
    CaptureQuestion question;
    question.text = QStringLiteral("%1%2 보정값을 현재 로드셀 값으로 설정하시겠습니까?\n기존 값 '%3' -> 새 값 '%4'")
                        .arg(ModePrefix(loadCell), RowLabel(loadCell, row))
                        .arg(points[index])
                        .arg(live);
    const QString doubt = CaptureDoubt(loadCell, index, points, live);
    if (!doubt.isEmpty()) {
        question.doubtful = true;
        question.text +=
            QStringLiteral("\n\n주의: %1 이대로 설정하면 이후 계산되는 하중 값이 모두 틀립니다.").arg(doubt);
    }
    return question;
}

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
