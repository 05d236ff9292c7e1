// The data grid's CPU cost per appended row: stored records are appended in batches of 40 rows (what
// 50 ms of the line brings) to a shown grid, as the window does during a download, and after each
// batch the view catches up (layout, scroll bar, the newest row in sight). Prints the CPU time per row
// over rows 1..1,000 and over rows 59,001..60,000, and their ratio.
// Usage: tonvale_bench_grid_append   (run with QT_QPA_PLATFORM=offscreen)

#include "CSpreadSheet.h"
#include "MeasurementRecord.h"
#include "RecordTables.h"
#include "Scenario.h"
#include "SpreadSheetView.h"

#include <QApplication>
#include <QScrollBar>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kBatch = 40;
constexpr int kRows = 60000;
constexpr int kWindow = 1000;

double ThreadCpuMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    CSpreadSheet grid;
    SpreadSheetView view(&grid);
    SetUpRecordSheets(grid, RecordSheetColors());
    grid.SetShownSheet(kStoredRecordSheet);
    view.resize(1260, 460);
    view.show();
    RecordTableWriter writer(&grid, grid::Rgb(241, 241, 241));

    double firstWindow = 0, lastWindow = 0;
    double start = ThreadCpuMicros();
    for (int row = 0; row < kRows; row += kBatch) {
        for (int i = row; i < row + kBatch; ++i) {
            const RawRecord record =
                MakeRecord({2026, 12, 7, i / 3600 % 24, i / 60 % 60, i % 60}, 500 + i % 700, i % 3);
            writer.AddStoredRecordRow(i, record.data());
        }
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        const int done = row + kBatch;
        if (done == kWindow) {
            firstWindow = ThreadCpuMicros() - start;
        } else if (done == kRows - kWindow) {
            start = ThreadCpuMicros();
        } else if (done == kRows) {
            lastWindow = ThreadCpuMicros() - start;
        }
    }
    const double first = firstWindow / kWindow, last = lastWindow / kWindow;
    std::printf("grid CPU per appended row: %.1f us over rows 1..%d, %.1f us over rows %d..%d, ratio %.2f\n", first,
                kWindow, last, kRows - kWindow + 1, kRows, last / first);
    return 0;
}
