#include "GridLayout.h"

#include "CSpreadSheet.h"

#include <QApplication>
#include <QWidget>

#include <cmath>

#include <gtest/gtest.h>

namespace {

GridScreen ScreenOf(int dpi)
{
    return GridScreen{dpi, dpi};
}

// Widgets need the application object; it is made before the first window.
struct WidgetApplication {
    WidgetApplication()
    {
        static int argc = 1;
        static char name[] = "report_grid_layout_test";
        static char *argv[] = {name, nullptr};
        static QApplication *app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
        (void)app;
    }
};

// A grid with a window, as the grid operations need.
struct ShownGrid : WidgetApplication {
    CSpreadSheet grid;
    QWidget view;
    ShownGrid() { grid.AttachView(&view); }
};

std::vector<double> Widths(const CSpreadSheet &grid)
{
    std::vector<double> widths;
    for (int col = 1; col <= grid.GetColumnCount(); ++col)
        widths.push_back(grid.GetColumnWidth(col));
    return widths;
}

} // namespace

TEST(GridLayout, TwipsToPixelsUsesTheScreenResolution)
{
    double x = 0, y = 0;
    ScreenOf(96).TwipsToPixels(1440, 720, x, y);
    EXPECT_DOUBLE_EQ(x, 96.0);
    EXPECT_DOUBLE_EQ(y, 48.0);
    ScreenOf(120).TwipsToPixels(120, 20, x, y);
    EXPECT_DOUBLE_EQ(x, 10.0);
    EXPECT_DOUBLE_EQ(y, 120.0 / 72.0);
}

TEST(GridLayout, ApplyGridStyleColoursTheGridAndScalesOnlyAbove96Dpi)
{
    const GridColors colors{0x312C29, 0xF7F3F7, 0x423C39, 0x464343, 0xCC7A00};
    for (int dpi : {96, 120, 144, 192}) {
        CSpreadSheet grid;
        grid.SetColumnCount(3);
        grid.SetRowCount(2);
        grid.SetColumnWidth(1, 10);
        grid.SetColumnWidth(2, 20);
        grid.SetColumnWidth(3, 30);
        grid.SetRowHeight(-1, 15);
        const double fontBefore = grid.GetFontSize();
        ApplyGridStyle(grid, colors, dpi);

        const double scale = std::sqrt(dpi / 96.0);
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1), 10 / scale) << dpi;
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(3), 30 / scale) << dpi;
        EXPECT_DOUBLE_EQ(grid.GetRowHeight(2), 15 / scale) << dpi;
        grid.SetCurrentColumn(2);
        grid.SetCurrentRow(2);
        EXPECT_DOUBLE_EQ(grid.GetFontSize(), dpi == 96 ? fontBefore : dpi == 120 ? 8.0 : dpi == 144 ? 7.0 : 5.0);
        EXPECT_EQ(grid.GetCellBackColor(), colors.back);
        EXPECT_EQ(grid.GetCellTextColor(), colors.text);
        EXPECT_EQ(grid.GetFontName(), QString::fromUtf8("굴림체"));
        EXPECT_EQ(grid.GetGridProperty(123), colors.header);
        EXPECT_EQ(grid.GetGridProperty(403), colors.lines);
        EXPECT_EQ(grid.GetGridProperty(289), colors.selection);
    }
}

TEST(GridLayout, StretchGridColumnsFillsTheWidthExactlyKeepingProportions)
{
    ShownGrid g;
    g.grid.SetColumnCount(6);
    g.grid.SetRowHeadersShown(false);
    g.grid.SetScrollBars(2); // vertical: its 20 pixels are not for the columns
    const double initial[] = {3, 7, 20, 20, 20, 20};
    for (int col = 1; col <= 6; ++col)
        g.grid.SetColumnWidth(col, initial[col - 1]);

    const GridScreen screen = ScreenOf(96);
    const QRect rect(10, 100, 1003, 400);
    StretchGridColumns(g.grid, rect, screen);
    const double avail = (1003 - 6 - 0 - 20) / 8.0; // 8 pixels a width unit at 96 dpi
    const std::vector<double> w = Widths(g.grid);
    double sum = 0;
    for (double v : w)
        sum += v;
    EXPECT_DOUBLE_EQ(sum, avail);
    for (int i = 0; i < 5; ++i)
        EXPECT_DOUBLE_EQ(w[size_t(i)], initial[i] * avail / 90.0);
    EXPECT_NEAR(w[5], 20 * avail / 90.0, 1e-9);

    // Again on a wider screen and a narrower rectangle: still exact.
    StretchGridColumns(g.grid, QRect(0, 0, 640, 100), ScreenOf(120));
    sum = 0;
    for (double v : Widths(g.grid))
        sum += v;
    EXPECT_DOUBLE_EQ(sum, (640 - 6 - 20) / 10.0);
    EXPECT_NEAR(Widths(g.grid)[1] / Widths(g.grid)[0], 7.0 / 3.0, 1e-9);
}

TEST(GridLayout, StretchAndFitDoNothingWithoutAWindowAndNeverProduceNonsenseSizes)
{
    const GridScreen screen = ScreenOf(96);
    CSpreadSheet hidden;
    hidden.SetColumnCount(2);
    hidden.SetColumnWidth(1, 5);
    StretchGridColumns(hidden, QRect(0, 0, 500, 100), screen);
    FitGridToRect(hidden, true, QRect(0, 0, 500, 100), screen);
    EXPECT_DOUBLE_EQ(hidden.GetColumnWidth(1), 5);

    // Columns of width 0 share the width equally instead of dividing by zero.
    ShownGrid zero;
    zero.grid.SetColumnCount(4);
    zero.grid.SetRowHeadersShown(false);
    zero.grid.SetScrollBars(0);
    zero.grid.SetColumnWidth(-1, 0);
    StretchGridColumns(zero.grid, QRect(0, 0, 404, 100), screen);
    for (double w : Widths(zero.grid))
        EXPECT_DOUBLE_EQ(w, 50.0 / 4);

    // A sheet without rows or headers keeps its row sizes; a tiny rectangle gives no negative sizes.
    ShownGrid empty;
    empty.grid.SetColumnCount(3);
    empty.grid.SetRowCount(0);
    empty.grid.SetColumnHeadersShown(false);
    empty.grid.SetRowHeadersShown(false);
    FitGridToRect(empty.grid, true, QRect(0, 0, 2, 2), screen);
    for (double w : Widths(empty.grid))
        EXPECT_GE(w, 0.0);
    EXPECT_TRUE(empty.grid.GetDisplayUpdates());
}

TEST(GridLayout, FitGridToRectSharesWidthAndHeightEquallyAndMovesTheView)
{
    ShownGrid g; // the main window's device grid: 4 x 6, no headers, no scroll bars
    g.grid.SetColumnCount(4);
    g.grid.SetRowCount(6);
    g.grid.SetColumnHeadersShown(false);
    g.grid.SetRowHeadersShown(false);
    g.grid.SetScrollBars(0);
    const GridScreen screen = ScreenOf(96);
    const QRect rect(200, 10, 1065, 160);
    FitGridToRect(g.grid, true, rect, screen);
    EXPECT_EQ(g.view.geometry(), rect);
    const double w = ((1065 - 5) / 8.0) / 4 - 0.1;
    for (double width : Widths(g.grid))
        EXPECT_DOUBLE_EQ(width, w);
    const double uy = 96.0 / 1440.0 * 20; // pixels per height unit
    const double r = ((160 - 9 - 0) / uy) / 6;
    for (int row = 1; row <= 6; ++row)
        EXPECT_DOUBLE_EQ(g.grid.GetRowHeight(row), r);
    EXPECT_TRUE(g.grid.GetDisplayUpdates());

    // With a column-header row and both scroll bars, the header row gets its share and the
    // horizontal bar's height is left free.
    g.grid.SetColumnHeadersShown(true);
    g.grid.SetScrollBars(3);
    FitGridToRect(g.grid, false, rect, screen);
    const double r2 = ((160 - 9 - 20) / uy) / 7;
    EXPECT_DOUBLE_EQ(g.grid.GetRowHeight(-1000), r2);
    EXPECT_DOUBLE_EQ(g.grid.GetRowHeight(1), r2);
    EXPECT_DOUBLE_EQ(Widths(g.grid)[0], w); // columns untouched without fit-columns
}
