// How fast the chart of stored records draws, and what following a download costs. Prints figures.
//   chart_bench [RECORDS] [--spread]   (default 60000)
// The records are a press shop's: each setting's forces lie within about a ton of its press class's usual
// force. --spread scatters them evenly over 9..31 t instead, the worst case for the chart.

#include "ChartSeries.h"
#include "ChartView.h"
#include "ChartWindow.h"
#include "RecordChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool g_spread = false;

RawRecord Record(int i)
{
    // One record every 30 seconds from 2026-01-01, the three settings in turn.
    const qint64 seconds = qint64(i) * 30;
    const int day = int(seconds / 86400), inDay = int(seconds % 86400);
    const int month = 1 + day / 28, dayOfMonth = 1 + day % 28;
    static const int kUsual[] = {1180, 1470, 2840}; // 12, 15 and 29 t
    const int raw = g_spread ? 900 + (i * 7919) % 2200 : kUsual[i % 3] - 98 + (i * 7919) % 197;
    return {0x07,
            0xEA,
            uint8_t(month),
            uint8_t(dayOfMonth),
            uint8_t(inDay / 3600),
            uint8_t(inDay / 60 % 60),
            uint8_t(inDay % 60),
            uint8_t(raw >> 8),
            uint8_t(raw & 0xFF),
            uint8_t(i % 3)};
}

double Ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    g_spread = arguments.contains(QStringLiteral("--spread"));
    const int count = arguments.size() > 1 && arguments[1].toInt() > 0 ? arguments[1].toInt() : 60000;

    Measurement records;
    for (int i = 0; i < count; ++i) {
        const RawRecord r = Record(i);
        records.SetStoredRecord(i, r.data(), i % 4 != 0);
    }
    PressClassLimits limits;
    limits.SetRange(0, ForceRange{100, 130});
    limits.SetRange(1, ForceRange{140, 160});
    limits.SetRange(2, ForceRange{250, 300});
    records.SetLimits(limits);

    // The whole chart at once: series, Qt chart, one frame painted, for a window-sized picture.
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer t;
        t.start();
        const ChartSeriesData data = BuildChartSeries(records, ChartScope::AllRecords);
        const double series = Ms(t);
        QGraphicsScene scene;
        auto *chart = new RecordChart(RecordChart::Look::Screen);
        scene.addItem(chart);
        chart->resize(QSizeF(900, 560));
        chart->LayOutNow();
        chart->SetData(data);
        chart->LayOutNow();
        const double built = Ms(t);
        QImage image(900, 560, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter);
        painter.end();
        std::printf("chart of %d stored records%s: series %.1f ms, chart built %.1f ms, drawn %.1f ms (total)\n", count,
                    g_spread ? " (spread)" : "", series, built, Ms(t));
    }

    // Following a download: records arrive one by one in the window; it redraws at most every 250 ms.
    QTemporaryDir dir;
    ChartWindow window(nullptr, dir.filePath(QStringLiteral("bench.ini")));
    window.SetLimits(limits);
    window.resize(900, 600);
    window.show();
    QElapsedTimer appendTime, redrawTime;
    qint64 appendNs = 0, redrawNs = 0;
    int redraws = 0;
    for (int i = 0; i < count; ++i) {
        appendTime.start();
        const RawRecord r = Record(i);
        window.SetStoredRecord(i, r.data(), true);
        appendNs += appendTime.nsecsElapsed();
        if ((i + 1) % 1500 == 0) { // a quarter second of a fast download's records
            redrawTime.start();
            window.Refresh();
            window.View()->viewport()->repaint();
            redrawNs += redrawTime.nsecsElapsed();
            ++redraws;
        }
    }
    std::printf("following %d records: %.2f us a record to take in, %d redraws of %.1f ms on average "
                "(%.1f ms the last one, at %d records)\n",
                count, appendNs / 1e3 / count, redraws, redrawNs / 1e6 / std::max(redraws, 1), Ms(redrawTime), count);
    return 0;
}
