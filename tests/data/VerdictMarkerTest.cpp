// The grid's force cells marked by verdict: colour and tooltip, kept in step when the limits change, and
// nothing at all without limits.

#include "VerdictMarker.h"
#include "CSpreadSheet.h"
#include "MeasurementRecord.h"
#include "RecordTables.h"

#include <gtest/gtest.h>

namespace {

constexpr int kTextColor = grid::Rgb(220, 220, 220);

std::array<uint8_t, kRecordSize> Record(int raw, int setting)
{
    return {0x07, 0xE8, 5, 1, 9, 30, 5, uint8_t(raw >> 8), uint8_t(raw & 0xFF), uint8_t(setting)};
}

struct MarkedGrid {
    MarkedGrid() { SetUpRecordSheets(grid, RecordSheetColors{kTextColor}); }
    int Color(int row)
    {
        grid.SetCurrentColumn(4);
        grid.SetCurrentRow(row);
        return grid.GetCellTextColor();
    }
    CSpreadSheet grid;
    RecordTableWriter writer{&grid, kTextColor};
};

TEST(VerdictMarker, ForceCellsTellPassAndFailByColourAndTooltip)
{
    PressClassLimits limits;
    limits.SetRange(1, ForceRange{140, 160});
    MarkedGrid g;
    g.writer.SetForceCellMarker(VerdictMarker(limits));
    const auto pass = Record(1470, 1), fail = Record(1600, 1), otherClass = Record(1600, 0), noClass = Record(1470, 5);
    g.writer.AddStoredRecordRow(0, pass.data());
    g.writer.AddStoredRecordRow(1, fail.data());
    g.writer.AddStoredRecordRow(2, otherClass.data());
    g.writer.AddStoredRecordRow(3, noClass.data());

    EXPECT_EQ(g.Color(1), verdict_colors::kPass);
    EXPECT_EQ(g.grid.toolTip(4, 1), QStringLiteral("합격 (기준 14.0 ~ 16.0 톤)"));
    EXPECT_EQ(g.Color(2), verdict_colors::kFail);
    EXPECT_EQ(g.grid.toolTip(4, 2), QStringLiteral("불합격 (기준 14.0 ~ 16.0 톤)"));
    for (int row : {3, 4}) { // a class without a range, and a code without a class
        EXPECT_EQ(g.Color(row), kTextColor) << row;
        EXPECT_TRUE(g.grid.toolTip(4, row).isEmpty()) << row;
    }
    // Only the force cell carries it; the texts are those of a plain row.
    EXPECT_TRUE(g.grid.toolTip(3, 2).isEmpty());
    EXPECT_EQ(g.grid.text(4, 2), QStringLiteral("16.3 톤"));
}

TEST(VerdictMarker, NewLimitsRemarkShownRowsWithoutTouchingTheirTicks)
{
    MarkedGrid g;
    const auto records = std::array{Record(1470, 1), Record(1600, 1)};
    for (int i = 0; i < 2; ++i)
        g.writer.AddStoredRecordRow(i, records[i].data());
    g.grid.SetCellInteger(1, 1, 0); // the operator unticks row 1

    PressClassLimits limits;
    limits.SetRange(1, ForceRange{140, 160});
    g.writer.SetForceCellMarker(VerdictMarker(limits));
    for (int i = 0; i < 2; ++i)
        g.writer.MarkStoredForceCell(i, records[i].data());
    EXPECT_EQ(g.Color(1), verdict_colors::kPass);
    EXPECT_EQ(g.Color(2), verdict_colors::kFail);
    int ticked = -1;
    ASSERT_TRUE(g.grid.GetCellInteger(1, 1, &ticked));
    EXPECT_EQ(ticked, 0);

    // The limits removed again: every cell back to the plain look.
    g.writer.SetForceCellMarker(VerdictMarker(PressClassLimits()));
    for (int i = 0; i < 2; ++i)
        g.writer.MarkStoredForceCell(i, records[i].data());
    for (int row : {1, 2}) {
        EXPECT_EQ(g.Color(row), kTextColor);
        EXPECT_TRUE(g.grid.toolTip(4, row).isEmpty());
    }
}

TEST(CellToolTip, TravelsWithItsRowAndGoesWithItsText)
{
    CSpreadSheet grid;
    grid.SetRowCount(5);
    grid.SetCurrentColumn(2);
    grid.SetCurrentRow(1);
    grid.SetCellToolTip(QStringLiteral("불합격"));
    grid.CopyRowBlock(1, 1, 3);
    EXPECT_EQ(grid.toolTip(2, 3), QStringLiteral("불합격"));

    // A sheet emptied for the next download keeps no stale tooltip.
    grid.SetRowCount(0);
    grid.SetRowCount(5);
    EXPECT_TRUE(grid.toolTip(2, 1).isEmpty());
    grid.SetCurrentRow(2);
    grid.SetCellToolTip(QStringLiteral("합격"));
    grid.ClearBlock(1, 1, 5, 5, true);
    EXPECT_TRUE(grid.toolTip(2, 2).isEmpty());

    // A block or a cell outside the sheet takes none.
    grid.SetCurrentColumn(grid::kAll);
    grid.SetCellToolTip(QStringLiteral("x"));
    EXPECT_TRUE(grid.toolTip(1, 2).isEmpty());
}

} // namespace
