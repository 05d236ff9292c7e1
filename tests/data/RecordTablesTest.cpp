#include "RecordTables.h"
#include "CSpreadSheet.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>

namespace {
constexpr int kThemeText = grid::Rgb(220, 220, 220);

std::array<uint8_t, 10> Record(int second, int raw, int code)
{
    return {0x07, 0xE8, 5, 1, 9, 30, uint8_t(second), uint8_t(raw >> 8), uint8_t(raw), uint8_t(code)};
}

QStringList RowTexts(const CSpreadSheet &grid, int row, int lastCol)
{
    QStringList texts;
    for (int col = 1; col <= lastCol; ++col)
        texts << grid.text(col, row);
    return texts;
}
} // namespace

TEST(RecordTables, SheetsAreBuiltAsTheMainWindowShowsThem)
{
    CSpreadSheet grid;
    QList<int> styled;
    SetUpRecordSheets(grid, RecordSheetColors{kThemeText, grid::Rgb(1, 2, 3), grid::Rgb(4, 5, 6)},
                      [&](CSpreadSheet &g) { styled << g.GetAddressedSheet(); });
    EXPECT_EQ(styled, (QList<int>{1, 2}));
    EXPECT_EQ(grid.GetSheetCount(), 2);
    EXPECT_EQ(grid.GetAddressedSheet(), kStoredRecordSheet);

    const grid::GridSheet &stored = *grid.Sheet(kStoredRecordSheet);
    EXPECT_EQ(stored.ColumnCount(), 6);
    EXPECT_EQ(stored.RowCount(), 0);
    QStringList headers;
    for (int col = 1; col <= 6; ++col)
        headers << stored.Text(col, grid::kHeader);
    EXPECT_EQ(headers, QStringList{QStringLiteral("CK")} + RecordColumnTitles());
    EXPECT_EQ(stored.ColumnWidth(1), 3);
    EXPECT_EQ(stored.ColumnWidth(2), 7);
    EXPECT_EQ(stored.ColumnWidth(6), 20);

    // Rows added later take the column's settings: ticked check boxes only in column 1, the only one
    // the operator can change.
    grid.SetRowCount(1);
    EXPECT_EQ(stored.Format(1, 1).cellType, grid::CellCheckBox);
    EXPECT_FALSE(stored.Format(1, 1).locked);
    EXPECT_EQ(stored.Format(4, 1).cellType, grid::CellStaticText);
    EXPECT_TRUE(stored.Format(4, 1).locked);
    EXPECT_EQ(stored.Format(4, 1).hAlign, grid::AlignHCenter);

    const grid::GridSheet &continuous = *grid.Sheet(kContinuousSheet);
    EXPECT_EQ(continuous.ColumnCount(), 5);
    EXPECT_EQ(continuous.RowCount(), 3);
    EXPECT_FALSE(continuous.ColumnHeadersShown());
    EXPECT_FALSE(continuous.RowHeadersShown());
    EXPECT_EQ(continuous.Text(1, 1), QStringLiteral("측정횟수"));
    EXPECT_EQ(continuous.Text(5, 1), QStringLiteral("압력 편차"));
    EXPECT_EQ(continuous.Text(2, 3), QStringLiteral("측정 시간"));
    EXPECT_EQ(continuous.Format(3, 1).backColor, grid::Rgb(1, 2, 3));
    EXPECT_EQ(continuous.Format(1, 2).backColor, grid::Rgb(1, 2, 3));
    EXPECT_NE(continuous.Format(2, 2).backColor, grid::Rgb(1, 2, 3));
    EXPECT_EQ(continuous.Format(5, 3).backColor, grid::Rgb(1, 2, 3));
    EXPECT_EQ(continuous.Format(2, 2).left.color, grid::Rgb(4, 5, 6));
}

TEST(RecordTables, StoredRowsAreTickedColouredAndRebuiltWithoutChange)
{
    CSpreadSheet grid;
    SetUpRecordSheets(grid, RecordSheetColors{});
    RecordTableWriter writer(&grid, kThemeText);

    writer.AddStoredRecordRow(0, Record(5, 1470, 2).data());
    EXPECT_EQ(grid.GetRowCount(), 1);
    writer.AddStoredRecordRow(9, Record(6, 0, 7).data());
    EXPECT_EQ(grid.GetRowCount(), 10);

    EXPECT_EQ(RowTexts(grid, 1, 6), (QStringList{"1", "1", "2024-05-01 09:30:05", QStringLiteral("15.0 톤"),
                                                 QStringLiteral("25-30톤"), QStringLiteral("30톤")}));
    EXPECT_EQ(RowTexts(grid, 10, 6),
              (QStringList{"1", "10", "2024-05-01 09:30:06", QStringLiteral(" 0.0 톤"), QString(), QString()}));
    int ticked = 0;
    EXPECT_TRUE(grid.GetCellInteger(1, 10, &ticked));
    EXPECT_EQ(ticked, 1);
    EXPECT_EQ(grid.Sheet(1)->Format(4, 10).textColor, kThemeText);

    // The operator clears a tick; the same download again ticks it and changes nothing else.
    grid.SetCellInteger(1, 1, 0);
    QSignalSpy changes(&grid, &CSpreadSheet::CellsChanged);
    writer.AddStoredRecordRow(0, Record(5, 1470, 2).data());
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0][1].toInt(), 1);
    EXPECT_TRUE(grid.GetCellInteger(1, 1, &ticked));
    EXPECT_EQ(ticked, 1);
}

TEST(RecordTables, ContinuousRowsFollowTheThreeFixedRows)
{
    CSpreadSheet grid;
    SetUpRecordSheets(grid, RecordSheetColors{});
    grid.SetAddressedSheet(kContinuousSheet);
    RecordTableWriter writer(&grid, kThemeText);

    const uint8_t noRecords[9] = {0, 0x30, 0x34, 0x30, 0x3D, 0, 0, 0, 0};
    writer.SetContinuousSummary(noRecords);
    EXPECT_EQ(grid.GetRowCount(), 3);
    EXPECT_EQ(RowTexts(grid, 2, 5), (QStringList{"0", "123.4 KN", "123.4 KN", "0.0 KN", "0.0 KN"}));

    for (int i = 0; i < 3; ++i)
        writer.AddContinuousRecordRow(i, Record(i, 65535, 1).data());
    EXPECT_EQ(grid.GetRowCount(), 6);
    EXPECT_EQ(RowTexts(grid, 6, 5),
              (QStringList{"3", "2024-05-01 09:30:02", "6553.5 KN", QStringLiteral("15톤"), QStringLiteral("15톤")}));
    EXPECT_EQ(grid.text(1, 3), QStringLiteral("No"));

    EmptyContinuousSheet(grid);
    EXPECT_EQ(grid.GetRowCount(), 3);
    EXPECT_EQ(RowTexts(grid, 2, 5), QStringList(5, QString()));
    EXPECT_EQ(grid.text(1, 1), QStringLiteral("측정횟수"));
}
