// The chart window on the simulated instrument, for trying it by hand and for its screenshots:
//   chart_preview memory|output
// A modal stand-in for the main window opens "그래프 보기" beside itself, with the limits
// 10-13톤 10.0 ~ 13.0, 15톤 14.0 ~ 16.0, 25-30톤 25.0 ~ 30.0 in a temporary configuration file.

#include "CFt260.h"
#include "ChartWindow.h"
#include "Clock.h"
#include "DarkTheme.h"
#include "LimitsSettings.h"
#include "LocalTime.h"
#include "MeasurementSink.h"
#include "Simulation.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

// Three weeks of presses checked a few times a day; a few readings out of their class's range.
Scenario PressShop()
{
    Scenario s;
    std::vector<RawRecord> stored;
    const int forces[] = {1180, 1205, 1150, 1230, 1470, 1490, 1455, 1502, 2790, 2860, 2905, 2830, 1310, 1440, 2950};
    for (int i = 0; i < 45; ++i) {
        const int day = 1 + i / 3, hour = 8 + (i % 3) * 3;
        const int setting = (i / 2) % 3;
        int raw = forces[(i * 7) % 15];
        raw = setting == 0 ? 1000 + raw % 270 : setting == 1 ? 1380 + raw % 180 : 2500 + raw % 420;
        if (i == 12)
            raw = 1340; // 13.7 t on a 10-13톤 press: fails
        stored.push_back(MakeRecord({2026, 11, day, hour, 10 + i % 40, 0}, raw, setting));
    }
    s.stored = stored;
    std::vector<RawRecord> run;
    for (int i = 0; i < 120; ++i)
        run.push_back(
            MakeRecord({2026, 12, 1, 9, 20 + i / 60, i % 60}, 1440 + (i * 37) % 70 + (i % 17 == 0 ? 60 : 0), 1));
    s.continuous.records = run;
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DarkTheme::Apply(app, AppPalette{}); // the look of the program's windows
    const MeasurementMode mode = QCoreApplication::arguments().value(1) == QLatin1String("output")
                                     ? MeasurementMode::Output
                                     : MeasurementMode::Memory;
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("tonvale.ini"));
    PressClassLimits limits;
    limits.SetRange(0, ForceRange{100, 130});
    limits.SetRange(1, ForceRange{140, 160});
    limits.SetRange(2, ForceRange{250, 300});
    SavePressClassLimits(limits, ini);

    VirtualClock clock(*LocalTimeFromFields({2026, 12, 7, 10, 0, 0}));
    Simulation simulation(PressShop(), clock);
    Measurement records(mode);
    MeasurementSink sink(records);
    CFt260 link(simulation.Bridge(), simulation.Discovery(), clock, &sink);
    link.FindDevice();
    if (mode == MeasurementMode::Memory) {
        int rows = 0;
        link.DownloadStoredRecords(*LocalTimeFromFields({2026, 11, 1, 0, 0, 0}),
                                   *LocalTimeFromFields({2026, 12, 7, 0, 0, 0}), &rows);
        for (int i = 3; i < records.StoredCount(); i += 5)
            records.SetTicked(i, false);
    } else {
        link.DownloadContinuousRecords();
    }

    QDialog main;
    main.setWindowTitle(QStringLiteral("압력 계측기"));
    auto *open = new QPushButton(QStringLiteral("그래프 보기"));
    auto *layout = new QVBoxLayout(&main);
    layout->addWidget(open);
    ChartWindow *chart = nullptr;
    QObject::connect(open, &QPushButton::clicked, &main, [&] {
        if (!chart) {
            chart = new ChartWindow(&main, ini);
            chart->SetMode(mode);
            chart->SetRecords(records);
        }
        chart->show();
        chart->raise();
    });
    main.resize(260, 80);
    main.exec();
    return 0;
}
