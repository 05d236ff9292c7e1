#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The calibration tables of the two load cells as the console reads and writes them, without any
// widget. Load cell 0 is the 15 t cell, 1 the 30 t cell.
namespace Calibration {

constexpr int kAnswerLength = 21;
constexpr int kCorrectionOffset = 2048; // a correction travels as value + 2048
constexpr int kMinCorrection = -1000;
constexpr int kMaxCorrection = 1000;

// Grid rows: 2..5 the four reference points, 6 the live reading, 7..9 the three corrections.
constexpr int kFirstPointRow = 2;
constexpr int kLastPointRow = 5;
constexpr int kLiveRow = 6;
constexpr int kFirstCorrectionRow = 7;
constexpr int kLastCorrectionRow = 9;

// One table as the instrument answers 0x43 / 0x45.
struct Table {
    std::array<uint32_t, 4> points{}; // raw readings at the four reference forces
    uint32_t live = 0;                // the load cell's present raw reading
    std::array<int, 3> corrections{}; // may be negative
};

Table Decode(const uint8_t *answer);

uint8_t ReadCommand(int loadCell);
uint8_t CaptureCommand(int loadCell);

// The 3 data bytes of a correction write (0x47) from the correction row 7..9: the index (0..2 for the
// 15 t table, 3..5 for the 30 t one) and value + 2048, big-endian. nullopt for a value outside
// -1000..1000, which the instrument's field cannot be trusted to hold.
std::optional<std::array<uint8_t, 3>> CorrectionWrite(int loadCell, int row, int value);

// The point index a capture button's row (2..5) stands for.
inline uint8_t CapturePoint(int row)
{
    return static_cast<uint8_t>(row - kFirstPointRow);
}

// The question asked before the live reading replaces the reference point of `row` (2..5): the point's
// present value and the live reading, and, when the live reading cannot be that point's, a plain warning
// that names the point, the value and why. A capture is doubtful when the reading does not lie strictly
// between the neighbouring points (the table must grow with the force), or when the line through the
// two nearest other points puts it more than a tenth of the cell's top force away from the point's force
// (the cell unloaded or loaded for another point).
struct CaptureQuestion {
    QString text;
    bool doubtful = false;
};
CaptureQuestion CaptureQuestionFor(int loadCell, int row, const std::array<uint32_t, 4> &points, uint32_t live);

// The label of column 1 in `row` for a load cell; empty for rows whose label does not depend on it.
QString RowLabel(int loadCell, int row);

// What the live-reading cell shows while the automatic reading fails: there is no present value.
inline const QString kNoLiveValue = QStringLiteral("-");

// The text that names the load cell in questions: "15톤 " or "30톤 ".
QString ModePrefix(int loadCell);

} // namespace Calibration
