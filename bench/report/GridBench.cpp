// Fills a 10,000 x 6 sheet the way the record tables do and saves it as a workbook; prints time, size and
// peak memory. Usage: report_grid_bench [output.xls]

#include "CSpreadSheet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr int kRows = 10000;
    QTemporaryDir dir;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.xls"));

    CSpreadSheet grid;
    grid.SetColumnCount(6);
    grid.SetRowCount(0);
    grid.SetCurrentColumn(1);
    grid.SetCurrentRow(-1);
    grid.SetCellType(10);
    std::printf("before fill: peak %ld KiB\n", PeakKilobytes());

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRows; ++i) {
        const int row = i + 1;
        if (grid.GetRowCount() < row)
            grid.SetRowCount(row);
        grid.SetCellTextIfChanged(1, row, QStringLiteral("1"));
        grid.SetCellTextIfChanged(2, row, QString::number(row));
        grid.SetCellTextIfChanged(3, row,
                                  QStringLiteral("2026-12-07 %1:%2:%3")
                                      .arg(row / 3600 % 24, 2, 10, QChar('0'))
                                      .arg(row / 60 % 60, 2, 10, QChar('0'))
                                      .arg(row % 60, 2, 10, QChar('0')));
        grid.SetCellTextIfChanged(4, row, QStringLiteral("%1 톤").arg((row % 300) / 10.0, 4, 'f', 1));
        if (grid.GetCellTextColor() != 0x00F1F1F1)
            grid.SetCellTextColor(0x00F1F1F1);
        grid.SetCellTextIfChanged(5, row, QStringLiteral("25-30톤"));
        grid.SetCellTextIfChanged(6, row, QStringLiteral("30톤"));
    }
    const qint64 fillNs = timer.nsecsElapsed();
    std::printf("fill %d x 6 through SetCellTextIfChanged: %.1f ms, peak %ld KiB\n", kRows, fillNs / 1e6,
                PeakKilobytes());

    timer.restart();
    QString error;
    const bool ok = grid.SaveExcelFile(path, QString(), 0, &error);
    const qint64 saveNs = timer.nsecsElapsed();
    std::printf("save: %s %.1f ms, %lld bytes, peak %ld KiB%s%s\n", ok ? "ok" : "FAILED", saveNs / 1e6,
                static_cast<long long>(QFileInfo(path).size()), PeakKilobytes(), ok ? "" : ": ", qPrintable(error));
    return ok ? 0 : 1;
}
