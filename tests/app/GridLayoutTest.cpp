#include "CDlgComm.h"
#include "CSpreadSheet.h"
#include "CTonvaleApp.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

// A dialog on a screen of a chosen resolution.
class ScreenDlg : public CDlgComm {
  public:
    explicit ScreenDlg(int dpi) : CDlgComm(0), m_dpi(dpi) {}

  protected:
    int ResolutionX() const override { return m_dpi; }
    int ResolutionY() const override { return m_dpi; }

  private:
    int m_dpi;
};

// A grid with a window, as the grid operations need.
struct ShownGrid {
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
    ScreenDlg(96).TwipsToPixels(1440, 720, x, y);
    EXPECT_DOUBLE_EQ(x, 96.0);
    EXPECT_DOUBLE_EQ(y, 48.0);
    ScreenDlg(120).TwipsToPixels(120, 20, x, y);
    EXPECT_DOUBLE_EQ(x, 10.0);
    EXPECT_DOUBLE_EQ(y, 120.0 / 72.0);
}

TEST(GridLayout, ApplyGridStyleColoursTheGridAndScalesOnlyAbove96Dpi)
{
    const AppPalette &pal = TonvaleApp().palette;
    for (int dpi : {96, 120, 144, 192}) {
        CSpreadSheet grid;
        grid.SetColumnCount(3);
        grid.SetRowCount(2);
        grid.SetColumnWidth(1, 10);
        grid.SetColumnWidth(2, 20);
        grid.SetColumnWidth(3, 30);
        grid.SetRowHeight(-1, 15);
        const double fontBefore = grid.GetFontSize();
        ScreenDlg(dpi).ApplyGridStyle(grid);

        const double scale = std::sqrt(dpi / 96.0);
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(1), 10 / scale) << dpi;
        EXPECT_DOUBLE_EQ(grid.GetColumnWidth(3), 30 / scale) << dpi;
        EXPECT_DOUBLE_EQ(grid.GetRowHeight(2), 15 / scale) << dpi;
        grid.SetCurrentColumn(2);
        grid.SetCurrentRow(2);
        EXPECT_DOUBLE_EQ(grid.GetFontSize(), dpi == 96 ? fontBefore : dpi == 120 ? 8.0 : dpi == 144 ? 7.0 : 5.0);
        EXPECT_EQ(grid.GetCellBackColor(), int(pal.backColor));
        EXPECT_EQ(grid.GetCellTextColor(), int(pal.textColor));
        EXPECT_EQ(grid.GetFontName(), QString::fromUtf8("굴림체"));
        EXPECT_EQ(grid.GetGridProperty(123), int(pal.labelBackColor));
        EXPECT_EQ(grid.GetGridProperty(403), int(pal.borderColor));
        EXPECT_EQ(grid.GetGridProperty(289), int(pal.highlightColor));
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

    ScreenDlg dlg(96);
    const QRect rect(10, 100, 1003, 400);
    dlg.StretchGridColumns(g.grid, rect);
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
    ScreenDlg(120).StretchGridColumns(g.grid, QRect(0, 0, 640, 100));
    sum = 0;
    for (double v : Widths(g.grid))
        sum += v;
    EXPECT_DOUBLE_EQ(sum, (640 - 6 - 20) / 10.0);
    EXPECT_NEAR(Widths(g.grid)[1] / Widths(g.grid)[0], 7.0 / 3.0, 1e-9);
}

TEST(GridLayout, StretchAndFitDoNothingWithoutAWindowAndNeverProduceNonsenseSizes)
{
    ScreenDlg dlg(96);
    CSpreadSheet hidden;
    hidden.SetColumnCount(2);
    hidden.SetColumnWidth(1, 5);
    dlg.StretchGridColumns(hidden, QRect(0, 0, 500, 100));
    dlg.FitGridToRect(hidden, true, QRect(0, 0, 500, 100));
    EXPECT_DOUBLE_EQ(hidden.GetColumnWidth(1), 5);

    // Columns of width 0 share the width equally instead of dividing by zero.
    ShownGrid zero;
    zero.grid.SetColumnCount(4);
    zero.grid.SetRowHeadersShown(false);
    zero.grid.SetScrollBars(0);
    zero.grid.SetColumnWidth(-1, 0);
    dlg.StretchGridColumns(zero.grid, QRect(0, 0, 404, 100));
    for (double w : Widths(zero.grid))
        EXPECT_DOUBLE_EQ(w, 50.0 / 4);

    // A sheet without rows or headers keeps its row sizes; a tiny rectangle gives no negative sizes.
    ShownGrid empty;
    empty.grid.SetColumnCount(3);
    empty.grid.SetRowCount(0);
    empty.grid.SetColumnHeadersShown(false);
    empty.grid.SetRowHeadersShown(false);
    dlg.FitGridToRect(empty.grid, true, QRect(0, 0, 2, 2));
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
    ScreenDlg dlg(96);
    const QRect rect(200, 10, 1065, 160);
    dlg.FitGridToRect(g.grid, true, rect);
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
    dlg.FitGridToRect(g.grid, false, rect);
    const double r2 = ((160 - 9 - 20) / uy) / 7;
    EXPECT_DOUBLE_EQ(g.grid.GetRowHeight(-1000), r2);
    EXPECT_DOUBLE_EQ(g.grid.GetRowHeight(1), r2);
    EXPECT_DOUBLE_EQ(Widths(g.grid)[0], w); // columns untouched without fit-columns
}
