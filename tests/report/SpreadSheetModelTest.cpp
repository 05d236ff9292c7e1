// The grid model: addressing, formats over whole columns and rows, values, blocks, joins, sheets and the
// operator's actions.

#include "CSpreadSheet.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <climits>

using namespace grid;

namespace {

void At(CSpreadSheet &g, int col, int row)
{
    g.SetCurrentColumn(col);
    g.SetCurrentRow(row);
}

TEST(SpreadSheetModel, OperationsOutsideTheSheetDoNothing)
{
    CSpreadSheet g;
    g.SetColumnCount(3);
    g.SetRowCount(2);
    QSignalSpy cells(&g, &CSpreadSheet::CellsChanged);
    for (auto [c, r] : {std::pair{0, 1}, {4, 1}, {1, 3}, {-5, 1}, {1, -2}, {99999, 99999}}) {
        At(g, c, r);
        g.SetCellText(QStringLiteral("x"));
        g.SetCellBackColor(Rgb(1, 2, 3));
        g.SetCellType(CellButton);
        EXPECT_EQ(g.GetCellText(), QString());
        EXPECT_FALSE(g.SetCellTextIfChanged(c, r, QStringLiteral("y")));
        int v = 7;
        EXPECT_FALSE(g.GetCellInteger(c, r, &v));
        EXPECT_EQ(v, 0);
        EXPECT_FALSE(g.SetCellInteger(c, r, 1));
    }
    g.CopyRowBlock(2, 5, 1); // source beyond the sheet
    g.CopyRowBlock(0, 1, 1);
    g.ClearBlock(10, 10, 20, 20, false);
    g.DrawBlockBorder(5, 5, 9, 9, EdgeAll, 0, BorderSolid);
    EXPECT_FALSE(g.JoinCells(3, 1, 2, 1));
    EXPECT_FALSE(g.JoinCells(1, 2, 1, 2));
    EXPECT_FALSE(g.JoinCells(1, 1, INT_MAX, INT_MAX));
    g.CopyRowBlock(1, 2, INT_MAX);
    g.DrawBlockBorder(4, INT_MIN, INT_MAX, INT_MAX, EdgeAll, 0, BorderSolid);
    g.SetColumnWidth(9, 4.0);
    EXPECT_EQ(g.GetColumnWidth(9), 0.0);
    g.SetRowCount(-1);
    g.SetColumnCount(-3);
    g.SetAddressedSheet(2);
    g.SetShownSheet(0);
    EXPECT_EQ(cells.count(), 0);
    EXPECT_EQ(g.GetColumnCount(), 3);
    EXPECT_EQ(g.GetRowCount(), 2);
    EXPECT_EQ(g.GetAddressedSheet(), 1);
    EXPECT_EQ(g.GetShownSheet(), 1);
}

TEST(SpreadSheetModel, ColumnSettingsHoldForRowsAddedLaterAndTheLatestSettingWins)
{
    CSpreadSheet g;
    g.SetColumnCount(6);
    g.SetRowCount(0);
    At(g, kAll, kAll);
    g.SetCellLocked(true);
    g.SetCellType(CellStaticText);
    g.SetHorizontalAlign(AlignHCenter);
    At(g, 1, kAll);
    g.SetCellLocked(false);
    g.SetCellType(CellCheckBox);
    g.DrawBlockBorder(kAll, kAll, kAll, kAll, EdgeAll, Rgb(9, 9, 9), BorderSolid);

    g.SetRowCount(10);
    At(g, 1, 10);
    EXPECT_EQ(g.GetCellType(), CellCheckBox);
    EXPECT_FALSE(g.GetCellLocked());
    At(g, 4, 7);
    EXPECT_EQ(g.GetCellType(), CellStaticText);
    EXPECT_TRUE(g.GetCellLocked());
    EXPECT_EQ(g.Sheet(1)->Format(4, 7).hAlign, AlignHCenter);
    EXPECT_EQ(g.Sheet(1)->Format(6, 10).bottom, (BorderLine{BorderSolid, Rgb(9, 9, 9)}));

    // A cell setting, then a newer one for its whole row, then a newer one for the whole sheet.
    At(g, 2, 3);
    g.SetCellTextColor(Rgb(1, 0, 0));
    At(g, kAll, 3);
    g.SetCellTextColor(Rgb(0, 2, 0));
    At(g, 2, 3);
    EXPECT_EQ(g.GetCellTextColor(), Rgb(0, 2, 0));
    g.SetCellTextColor(Rgb(0, 0, 3));
    EXPECT_EQ(g.GetCellTextColor(), Rgb(0, 0, 3));
    At(g, kAll, kAll);
    g.SetCellTextColor(Rgb(4, 4, 4));
    At(g, 2, 3);
    EXPECT_EQ(g.GetCellTextColor(), Rgb(4, 4, 4));
}

TEST(SpreadSheetModel, TextsCheckBoxesAndIntegers)
{
    CSpreadSheet g;
    g.SetColumnCount(3);
    g.SetRowCount(3);
    At(g, 1, kAll);
    g.SetCellType(CellCheckBox);
    QSignalSpy cells(&g, &CSpreadSheet::CellsChanged);

    EXPECT_TRUE(g.SetCellTextIfChanged(1, 1, QStringLiteral("1")));
    EXPECT_FALSE(g.SetCellTextIfChanged(1, 1, QStringLiteral("1")));
    EXPECT_EQ(cells.count(), 1);
    EXPECT_EQ(g.GetCurrentColumn(), 1); // the cell stays addressed for what follows
    EXPECT_EQ(g.GetCurrentRow(), 1);
    int v = -1;
    EXPECT_TRUE(g.GetCellInteger(1, 1, &v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(g.GetCellInteger(1, 2, &v)); // an empty check box is clear
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(g.SetCellInteger(1, 1, 0));
    EXPECT_TRUE(g.GetCellInteger(1, 1, &v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(g.SetCellInteger(1, 3, 5)); // any non-zero ticks
    EXPECT_EQ(g.text(1, 3), QStringLiteral("1"));

    g.SetCellTextIfChanged(2, 2, QStringLiteral("42"));
    EXPECT_TRUE(g.GetCellInteger(2, 2, &v));
    EXPECT_EQ(v, 42);
    g.SetCellTextIfChanged(2, 2, QStringLiteral("12.5 톤"));
    EXPECT_FALSE(g.GetCellInteger(2, 2, &v));
    EXPECT_EQ(v, 0);

    // Header cells.
    g.SetCellTextIfChanged(2, kHeader, QStringLiteral("측정 시간"));
    EXPECT_EQ(g.text(2, kHeader), QStringLiteral("측정 시간"));
    EXPECT_EQ(g.Sheet(1)->HeaderLabel(3, kHeader), QStringLiteral("C"));
    EXPECT_EQ(g.Sheet(1)->HeaderLabel(kHeader, 2), QStringLiteral("2"));
}

TEST(SpreadSheetModel, RowCountClearBlockAndCopyRowBlock)
{
    CSpreadSheet g;
    g.SetColumnCount(5);
    g.SetRowCount(10);
    g.SetCellTextIfChanged(1, 10, QStringLiteral("1"));
    g.SetCellTextIfChanged(2, 10, QStringLiteral("-"));
    g.SetCellBackColor(Rgb(7, 7, 7));
    g.DrawBlockBorder(1, 10, 5, 10, EdgeAll, Rgb(1, 1, 1), BorderSolid);
    g.SetRowHeight(10, 20.0);
    ASSERT_TRUE(g.JoinCells(3, 10, 2, 1));

    // The export copies the model row down, one call per destination row; the sheet grows to hold it.
    g.CopyRowBlock(10, 10, 11);
    g.CopyRowBlock(10, 10, 12);
    EXPECT_EQ(g.GetRowCount(), 12);
    EXPECT_EQ(g.text(2, 12), QStringLiteral("-"));
    EXPECT_EQ(g.Sheet(1)->Format(2, 12).backColor, Rgb(7, 7, 7));
    EXPECT_EQ(g.Sheet(1)->Format(5, 11).top.style, BorderSolid);
    EXPECT_EQ(g.GetRowHeight(12), 20.0);
    ASSERT_TRUE(g.Sheet(1)->SpanAt(4, 12).has_value());
    EXPECT_EQ(g.Sheet(1)->SpanAt(4, 12)->col, 3);
    // The copy is independent of its source.
    At(g, 2, 11);
    g.SetCellBackColor(Rgb(8, 8, 8));
    EXPECT_EQ(g.Sheet(1)->Format(2, 10).backColor, Rgb(7, 7, 7));

    // Overlapping copy: rows 10..11 onto 11..12 read the source before writing.
    g.SetCellTextIfChanged(1, 11, QStringLiteral("B"));
    g.SetCellTextIfChanged(1, 10, QStringLiteral("A"));
    g.CopyRowBlock(10, 11, 11);
    EXPECT_EQ(g.text(1, 11), QStringLiteral("A"));
    EXPECT_EQ(g.text(1, 12), QStringLiteral("B"));

    g.ClearBlock(1, 10, 5, 12, true);
    EXPECT_EQ(g.text(2, 10), QString());
    EXPECT_EQ(g.Sheet(1)->Format(2, 10).backColor, Rgb(7, 7, 7));
    g.ClearBlock(kAll, 10, kAll, 10, false);
    EXPECT_FALSE(g.Sheet(1)->Format(2, 10).backColorSet);
    EXPECT_EQ(g.Sheet(1)->Format(2, 11).backColor, Rgb(7, 7, 7)); // row 11 is now a copy of row 10

    // Emptying a sheet drops its rows; rows grown again start empty.
    g.SetRowCount(0);
    g.SetRowCount(12);
    EXPECT_EQ(g.text(1, 11), QString());
    EXPECT_FALSE(g.Sheet(1)->Format(2, 11).backColorSet);
    EXPECT_TRUE(g.Sheet(1)->Spans().isEmpty());
}

TEST(SpreadSheetModel, JoinsReplaceWhatTheyOverlap)
{
    CSpreadSheet g;
    g.SetColumnCount(6);
    g.SetRowCount(6);
    ASSERT_TRUE(g.JoinCells(1, 6, 3, 1));
    ASSERT_TRUE(g.JoinCells(4, 1, 2, 2));
    ASSERT_TRUE(g.JoinCells(2, 5, 2, 2)); // overlaps the first
    ASSERT_EQ(g.Sheet(1)->Spans().size(), 2);
    EXPECT_FALSE(g.Sheet(1)->SpanAt(1, 6).has_value());
    ASSERT_TRUE(g.JoinCells(4, 1, 1, 1)); // 1 x 1 undoes a join
    EXPECT_EQ(g.Sheet(1)->Spans().size(), 1);
    g.SetColumnCount(2); // a join no longer inside the sheet goes
    EXPECT_TRUE(g.Sheet(1)->Spans().isEmpty());
}

TEST(SpreadSheetModel, SizesAndTheirTwips)
{
    CSpreadSheet g;
    g.SetColumnCount(3);
    g.SetRowCount(3);
    EXPECT_EQ(g.GetColumnWidth(2), 8.0);
    EXPECT_EQ(g.GetRowHeight(2), 15.0);
    g.SetColumnWidth(kAll, 10.0);
    g.SetColumnWidth(2, 25.5);
    g.SetRowHeight(kAll, 12.0);
    g.SetRowHeight(kHeader, 20.0);
    g.SetColumnWidth(kHeader, 4.0);
    EXPECT_EQ(g.columnWidth(1), 10.0);
    EXPECT_EQ(g.columnWidth(2), 25.5);
    EXPECT_EQ(g.GetRowHeight(3), 12.0);
    EXPECT_EQ(g.GetRowHeight(kHeader), 20.0);
    EXPECT_EQ(g.GetColumnWidth(kHeader), 4.0);
    int twips = 0;
    ASSERT_TRUE(g.ColumnWidthInTwips(10000.0, &twips));
    EXPECT_EQ(twips, 1200000);
    ASSERT_TRUE(g.RowHeightInTwips(kHeader, 10000.0, &twips));
    EXPECT_EQ(twips, 200000);
    g.SetColumnWidth(1, -5.0);
    EXPECT_EQ(g.columnWidth(1), 0.0);
}

TEST(SpreadSheetModel, SheetsAreAddressedAndShownSeparately)
{
    CSpreadSheet g;
    QSignalSpy shown(&g, &CSpreadSheet::ShownSheetChanged);
    g.SetSheetCount(2);
    g.SetAddressedSheet(2);
    g.SetColumnCount(5);
    g.SetRowCount(3);
    g.SetColumnHeadersShown(false);
    g.SetCellTextIfChanged(1, 1, QStringLiteral("측정횟수"));
    EXPECT_EQ(g.GetShownSheet(), 1);
    g.SetAddressedSheet(1);
    EXPECT_EQ(g.text(1, 1), QString());
    EXPECT_TRUE(g.GetColumnHeadersShown());
    g.SetShownSheet(2);
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(g.Sheet(2)->Text(1, 1), QStringLiteral("측정횟수"));
    g.SetSheetCount(1);
    EXPECT_EQ(g.GetShownSheet(), 1);
    EXPECT_EQ(g.Sheet(2), nullptr);
}

TEST(SpreadSheetModel, DisplayUpdatesOffHoldsBackNotifications)
{
    CSpreadSheet g;
    QSignalSpy cells(&g, &CSpreadSheet::CellsChanged);
    QSignalSpy layout(&g, &CSpreadSheet::LayoutChanged);
    QSignalSpy updates(&g, &CSpreadSheet::DisplayUpdatesChanged);
    g.SetDisplayUpdates(false);
    g.SetCellTextIfChanged(1, 1, QStringLiteral("a"));
    g.SetColumnWidth(1, 3.0);
    EXPECT_EQ(cells.count() + layout.count(), 0);
    g.SetDisplayUpdates(true);
    ASSERT_EQ(updates.count(), 2);
    EXPECT_TRUE(updates.at(1).at(0).toBool());
    g.SetCellTextIfChanged(1, 1, QStringLiteral("b"));
    ASSERT_EQ(cells.count(), 1);
    EXPECT_EQ(cells.at(0), (QList<QVariant>{1, 1, 1, 1, 1}));
}

TEST(SpreadSheetModel, OperatorEditsHonourTypeLockAndLimits)
{
    CSpreadSheet g;
    g.SetColumnCount(4);
    g.SetRowCount(4);
    At(g, 1, 1);
    g.SetCellType(CellEditText);
    g.SetMaxTextLength(9);
    At(g, 2, 1);
    g.SetCellType(CellNumber);
    g.SetNumberMin(-1000);
    g.SetNumberMax(1000);
    g.SetNumberDecimals(0);
    At(g, 3, 1);
    g.SetCellType(CellStaticText);
    At(g, 4, 1);
    g.SetCellType(CellEditText);
    g.SetCellLocked(true);
    At(g, 1, 2);
    g.SetCellType(CellCheckBox);
    At(g, 2, 2);
    g.SetCellType(CellButton);
    At(g, 3, 2);
    g.SetCellType(CellCheckBox);
    g.SetCellLocked(true);
    QSignalSpy clicks(&g, &CSpreadSheet::ButtonClicked);

    EXPECT_TRUE(g.OperatorSetText(1, 1, 1, QStringLiteral("ABCDEFGHIJKL")));
    EXPECT_EQ(g.text(1, 1), QStringLiteral("ABCDEFGHI"));
    EXPECT_TRUE(g.OperatorSetText(1, 2, 1, QStringLiteral("-1000")));
    EXPECT_FALSE(g.OperatorSetText(1, 2, 1, QStringLiteral("1001")));
    EXPECT_FALSE(g.OperatorSetText(1, 2, 1, QStringLiteral("3.5")));
    EXPECT_FALSE(g.OperatorSetText(1, 2, 1, QStringLiteral("abc")));
    EXPECT_EQ(g.text(2, 1), QStringLiteral("-1000"));
    EXPECT_TRUE(g.OperatorSetText(1, 2, 1, QString()));
    EXPECT_FALSE(g.OperatorSetText(1, 3, 1, QStringLiteral("x")));
    EXPECT_FALSE(g.OperatorSetText(1, 4, 1, QStringLiteral("x")));
    EXPECT_FALSE(g.OperatorToggleCheck(1, 3, 2));

    EXPECT_TRUE(g.OperatorToggleCheck(1, 1, 2));
    EXPECT_TRUE(g.OperatorToggleCheck(1, 1, 2));
    EXPECT_TRUE(g.OperatorPressButton(1, 2, 2));
    EXPECT_FALSE(g.OperatorPressButton(1, 1, 1));
    ASSERT_EQ(clicks.count(), 3);
    EXPECT_EQ(clicks.at(0), (QList<QVariant>{1, 2, 1}));
    EXPECT_EQ(clicks.at(1), (QList<QVariant>{1, 2, 0}));
    EXPECT_EQ(clicks.at(2), (QList<QVariant>{2, 2, 0}));

    // A cell covered by a join is edited through its anchor only.
    ASSERT_TRUE(g.JoinCells(1, 4, 2, 1));
    EXPECT_TRUE(g.IsEditableByOperator(1, 1, 4));
    EXPECT_FALSE(g.IsEditableByOperator(1, 2, 4));
}

} // namespace
