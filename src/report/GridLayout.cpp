#include "GridLayout.h"

#include "CSpreadSheet.h"

#include <QWidget>

#include <cmath>
#include <utility>
#include <vector>

namespace {

// Grid appearance property numbers ApplyGridStyle sets.
enum : int {
    kPropBorderStyle = -504,
    kPropEmptyArea = 55,
    kPropForeColor = 56,
    kPropHeaderDepth = 116,
    kPropHeaderBack = 123,
    kPropHeaderShadow = 124,
    kPropHeaderText = 125,
    kPropScrollBarStyle = 273,
    kPropSelectionColor = 289,
    kPropSelectionStyle = 391,
    kPropGridLines = 403,
    kPropHeaderGridLines = 404,
    kPropTabStyle = 525,
};
constexpr int kHeader = -1000; // the row-header column, the column-header row: one of each
constexpr int kAll = -1;

} // namespace

void GridScreen::TwipsToPixels(double twipsX, double twipsY, double &pixelsX, double &pixelsY) const
{
    pixelsX = dpiX / 1440.0 * twipsX;
    pixelsY = dpiY / 1440.0 * twipsY;
}

void ApplyGridStyle(CSpreadSheet &grid, const GridColors &colors, int dpi)
{
    grid.SetGridProperty(kPropSelectionStyle, 0);
    grid.SetGridProperty(kPropScrollBarStyle, 0);
    grid.SetGridProperty(kPropTabStyle, 0);

    grid.SetCurrentColumn(kAll);
    grid.SetCurrentRow(kAll);
    grid.SetFontName(QStringLiteral("굴림체"));
    grid.SetCellBackColor(colors.back);
    grid.SetCellTextColor(colors.text);
    grid.SetGridProperty(kPropHeaderBack, colors.header);
    grid.SetGridProperty(kPropHeaderShadow, colors.header);
    grid.SetGridProperty(kPropHeaderText, colors.text);
    grid.SetGridProperty(kPropForeColor, colors.text);
    grid.SetGridProperty(kPropHeaderDepth, 0);
    grid.SetGridProperty(kPropGridLines, colors.lines);
    grid.SetGridProperty(kPropHeaderGridLines, colors.lines);
    grid.SetGridProperty(kPropEmptyArea, colors.back);
    grid.SetGridProperty(kPropSelectionColor, colors.selection);
    grid.SetGridProperty(kPropBorderStyle, 1);

    const double scale = std::sqrt(dpi / 96.0);
    if (dpi > 96)
        grid.SetFontSize(dpi <= 120 ? 8 : dpi <= 144 ? 7 : 5);

    for (int col = 1; col <= grid.GetColumnCount(); ++col)
        grid.SetColumnWidth(col, grid.GetColumnWidth(col) / scale);
    grid.SetColumnWidth(kHeader, grid.GetColumnWidth(kHeader) / scale);

    const double height = grid.GetRowHeight(1);
    if (height > 0)
        grid.SetRowHeight(kAll, height / scale);
}

namespace {

// Pixels per grid width unit and per height unit of the column-header row.
void GridUnits(const GridScreen &screen, const CSpreadSheet &grid, double &ux, double &uy)
{
    int twipsX = 0, twipsY = 0;
    grid.ColumnWidthInTwips(10000.0, &twipsX);
    grid.RowHeightInTwips(kHeader, 10000.0, &twipsY);
    screen.TwipsToPixels(twipsX, twipsY, ux, uy);
    ux /= 10000.0;
    uy /= 10000.0;
}

QWidget *GridWindow(const CSpreadSheet &grid)
{
    return qobject_cast<QWidget *>(grid.View());
}

} // namespace

void FitGridToRect(CSpreadSheet &grid, bool fitColumns, const QRect &rect, const GridScreen &screen)
{
    QWidget *view = GridWindow(grid);
    if (!view)
        return;
    grid.SetDisplayUpdates(false);
    view->setGeometry(rect);

    double ux = 0, uy = 0;
    GridUnits(screen, grid, ux, uy);

    if (fitColumns && ux > 0) {
        const int n = grid.GetColumnCount();
        const int h = grid.GetRowHeadersShown() ? 1 : 0;
        // With no columns at all there is nothing to share the width among.
        if (n + h > 0) {
            const double w = qMax(0.0, ((rect.width() - 5) / ux) / (n + h) - 0.1);
            for (int col = kHeader; col < kHeader + h; ++col)
                grid.SetColumnWidth(col, w);
            for (int col = 1; col <= n; ++col)
                grid.SetColumnWidth(col, w);
        }
    }

    const int m = grid.GetRowCount();
    const int bars = grid.GetScrollBars();
    const int s = (bars == 1 || bars == 3) ? CSpreadSheet::kScrollBarPixels : 0;
    const int k = grid.GetColumnHeadersShown() ? 1 : 0;
    if (m + k > 0 && uy > 0) {
        const double r = qMax(0.0, ((rect.height() - int(std::trunc(m * 1.5)) - s) / uy) / (m + k));
        for (int row = kHeader; row < kHeader + k; ++row)
            grid.SetRowHeight(row, r);
        for (int row = 1; row <= m; ++row)
            grid.SetRowHeight(row, r);
    }

    grid.SetDisplayUpdates(true);
    view->update();
}

void StretchGridColumns(CSpreadSheet &grid, const QRect &rect, const GridScreen &screen)
{
    if (!GridWindow(grid))
        return;
    double ux = 0, uy = 0;
    GridUnits(screen, grid, ux, uy);
    const int n = grid.GetColumnCount();
    if (n <= 0 || ux <= 0)
        return;

    int v = 0;
    const int bars = grid.GetScrollBars();
    if (bars == 2 || bars == 3)
        v = CSpreadSheet::kScrollBarPixels;
    const int h = grid.GetRowHeadersShown() ? 1 : 0;

    std::vector<std::pair<int, double>> columns; // row-header columns first, then 1 .. n
    for (int col = kHeader; col < kHeader + h; ++col)
        columns.emplace_back(col, grid.GetColumnWidth(col));
    for (int col = 1; col <= n; ++col)
        columns.emplace_back(col, grid.GetColumnWidth(col));
    double total = 0;
    for (const auto &c : columns)
        total += c.second;

    const double avail = qMax(0.0, (rect.width() - n - h - v) / ux);
    double given = 0;
    for (size_t i = 0; i + 1 < columns.size(); ++i) {
        // Columns that are all zero wide cannot keep proportions: they share the width equally.
        const double width = total > 0 ? columns[i].second * (avail / total) : avail / double(columns.size());
        grid.SetColumnWidth(columns[i].first, width);
        given += width;
    }
    grid.SetColumnWidth(columns.back().first, qMax(0.0, avail - given));
}
