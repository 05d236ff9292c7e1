// The chart's series against the rows the grid shows, on the simulated instrument: one point per row with
// the row's force and time, ticked rows apart, the summary lines of a continuous run, bands and verdicts.

#include "ChartSeries.h"
#include "CFt260.h"
#include "CSpreadSheet.h"
#include "Clock.h"
#include "LocalTime.h"
#include "MeasurementSink.h"
#include "RecordTables.h"
#include "Simulation.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

qint64 At(int day, int hour, int minute, int second = 0)
{
    return *LocalTimeFromFields({2026, 12, day, hour, minute, second});
}

RawRecord Rec(qint64 time, int raw, int setting)
{
    return MakeRecord(*LocalFieldsOf(time), raw, setting);
}

// The instrument, its link, the measurement a download fills and the grid that shows it.
struct Download {
    explicit Download(const Scenario &scenario) : sim(scenario, clock) { link.FindDevice(); }
    int Stored(qint64 from, qint64 to)
    {
        records.Begin(MeasurementMode::Memory);
        int rows = 0;
        return Shown(link.DownloadStoredRecords(from, to, &rows));
    }
    int Continuous()
    {
        records.Begin(MeasurementMode::Output);
        return Shown(link.DownloadContinuousRecords());
    }
    int Shown(int result)
    {
        FillRecordSheets(records, grid);
        return result;
    }

    VirtualClock clock;
    Simulation sim;
    CSpreadSheet grid;
    Measurement records;
    MeasurementSink sink{records};
    CFt260 link{sim.Bridge(), sim.Discovery(), clock, &sink};
};

// The texts a point stands for, as the grid shows them.
QString TimeText(const QPointF &p)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(p.x())).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
QString TonsText(const QPointF &p)
{
    return QString::asprintf("%4.1f 톤", p.y());
}

Scenario StoredScenario()
{
    Scenario s;
    s.stored = std::vector<RawRecord>{
        Rec(At(1, 9, 0), 1176, 0),  // 12.0 t, 10-13톤
        Rec(At(1, 9, 5), 1372, 0),  // 14.0 t, 10-13톤: fails 10..13
        Rec(At(1, 9, 10), 1470, 1), // 15.0 t, 15톤
        Rec(At(2, 10, 0), 2842, 2), // 29.0 t, 25-30톤
        Rec(At(2, 10, 1), 3038, 2), // 31.0 t, 25-30톤: no range, not judged
        Rec(At(2, 10, 2), 500, 7),  // a code without a class
    };
    return s;
}

TEST(ChartSeries, StoredPointsStandForTheGridRowsPerSetting)
{
    Download d(StoredScenario());
    ASSERT_EQ(d.Stored(At(1, 0, 0), At(3, 0, 0)), RESULT_OK);
    ASSERT_EQ(d.grid.GetRowCount(), 6);
    d.grid.SetCellInteger(1, 2, 0); // the operator unticks row 2; the chart takes the sheet's ticks
    TakeStoredTicks(d.records, d.grid);
    EXPECT_EQ(d.records.TickedCount(), 5);
    EXPECT_FALSE(d.records.IsTicked(1));

    const ChartSeriesData data = BuildChartSeries(d.records, ChartScope::AllRecords);
    EXPECT_EQ(data.XTitle(), QStringLiteral("측정 시간"));
    EXPECT_EQ(data.YTitle(), QStringLiteral("측정 압력 값 (톤)"));
    // Every grid row is one point of its setting's series, ticked or not as the row, with the row's texts.
    int points = 0;
    for (int row = 1; row <= d.grid.GetRowCount(); ++row) {
        int ticked = 0;
        d.grid.GetCellInteger(1, row, &ticked);
        const QString setValue = d.grid.text(5, row);
        const auto named = std::find_if(data.settings.begin(), data.settings.end(),
                                        [&](const SettingSeries &s) { return s.name == setValue; });
        const SettingSeries &series = named != data.settings.end() ? *named : data.settings.back();
        const QList<QPointF> &list = ticked ? series.ticked : series.unticked;
        const bool found = std::any_of(list.begin(), list.end(), [&](const QPointF &p) {
            return TimeText(p) == d.grid.text(3, row) && TonsText(p) == d.grid.text(4, row);
        });
        EXPECT_TRUE(found) << row;
    }
    for (const SettingSeries &s : data.settings)
        points += s.ticked.size() + s.unticked.size();
    EXPECT_EQ(points, 6);
    EXPECT_EQ(data.settings[0].unticked.size(), 1);
    EXPECT_EQ(data.settings.back().ticked.size(), 1); // the row without set-value text
    // Without limits: no band, nothing fails, nothing counted.
    EXPECT_TRUE(data.bands.isEmpty());
    EXPECT_TRUE(data.failing.isEmpty());
    EXPECT_EQ(data.counts.pass + data.counts.fail, 0);

    // A report draws only what it reports.
    const ChartSeriesData report = BuildChartSeries(d.records, ChartScope::TickedOnly);
    EXPECT_TRUE(report.settings[0].unticked.isEmpty());
    EXPECT_EQ(report.settings[0].ticked.size(), 1);
}

TEST(ChartSeries, BandsFailuresAndCountsFollowTheLimitsAndTheTicks)
{
    Download d(StoredScenario());
    ASSERT_EQ(d.Stored(At(1, 0, 0), At(3, 0, 0)), RESULT_OK);
    PressClassLimits limits;
    limits.SetRange(0, ForceRange{100, 130});
    limits.SetRange(1, ForceRange{140, 160});
    d.records.SetLimits(limits);

    ChartSeriesData data = BuildChartSeries(d.records, ChartScope::AllRecords);
    ASSERT_EQ(data.bands.size(), 2);
    EXPECT_EQ(data.bands[0].pressClass, 0);
    EXPECT_EQ(data.bands[0].range, (ForceRange{100, 130}));
    EXPECT_EQ(data.bands[1].pressClass, 1);
    ASSERT_EQ(data.failing.size(), 1);
    EXPECT_EQ(TonsText(data.failing[0]), d.grid.text(4, 2));
    EXPECT_EQ(data.counts.pass, 2);
    EXPECT_EQ(data.counts.fail, 1);

    // The failing row unticked: it is still drawn as failing, but no longer counted.
    d.records.SetTicked(1, false);
    data = BuildChartSeries(d.records, ChartScope::AllRecords);
    EXPECT_EQ(data.failing.size(), 1);
    EXPECT_EQ(data.counts.fail, 0);
    EXPECT_EQ(data.counts.pass, 2);

    // A class with a range but no record shown gets no band.
    PressClassLimits only30;
    only30.SetRange(2, ForceRange{250, 300});
    d.records.Clear();
    const RawRecord one = Rec(At(1, 9, 0), 1176, 0);
    d.records.SetStoredRecord(0, one.data());
    d.records.SetLimits(only30);
    EXPECT_TRUE(BuildChartSeries(d.records, ChartScope::AllRecords).bands.isEmpty());
}

TEST(ChartSeries, ContinuousRunPointsAndSummaryLinesMatchTheSheet)
{
    Scenario s;
    s.continuous.average = 12345; // shown truncated: 123.4
    s.continuous.minimum = 11009;
    s.continuous.maximum = 13999;
    s.continuous.records =
        std::vector<RawRecord>{Rec(At(1, 9, 0), 1234, 1), Rec(At(1, 9, 0, 1), 1101, 1), Rec(At(1, 9, 0, 2), 1399, 2)};
    Download d(s);
    ASSERT_EQ(d.Continuous(), RESULT_OK);

    const ChartSeriesData data = BuildChartSeries(d.records, ChartScope::TickedOnly);
    EXPECT_EQ(data.YTitle(), QStringLiteral("측정 압력 값 (KN)"));
    ASSERT_EQ(data.points.size(), d.grid.GetRowCount() - kContinuousFixedRows);
    for (int i = 0; i < data.points.size(); ++i) {
        EXPECT_EQ(QString::number(int(data.points[i].x())), d.grid.text(1, 4 + i));
        EXPECT_EQ(QString::asprintf("%.1f KN", data.points[i].y()), d.grid.text(3, 4 + i));
    }
    ASSERT_EQ(data.summaryLines.size(), 3);
    for (int i = 0; i < 3; ++i) { // average, minimum, maximum: columns 2..4 of the summary row
        EXPECT_EQ(data.summaryLines[i].name, d.grid.text(2 + i, 1));
        EXPECT_EQ(QString::asprintf("%02.1f KN", data.summaryLines[i].value), d.grid.text(2 + i, 2));
    }
    EXPECT_DOUBLE_EQ(data.summaryLines[0].value, 123.4);
    // Continuous records are not judged against the press classes.
    PressClassLimits limits;
    limits.SetRange(1, ForceRange{0, 10});
    d.records.SetLimits(limits);
    const ChartSeriesData judged = BuildChartSeries(d.records, ChartScope::TickedOnly);
    EXPECT_TRUE(judged.bands.isEmpty());
    EXPECT_TRUE(judged.failing.isEmpty());
}

TEST(Measurement, ARerunDownloadReplacesRecordsByIndexAndAModeChangeEmpties)
{
    Measurement records;
    const RawRecord a = Rec(At(1, 9, 0), 1000, 0), b = Rec(At(1, 9, 1), 2000, 1);
    records.SetStoredRecord(0, a.data());
    records.SetStoredRecord(1, b.data(), false);
    records.SetStoredRecord(0, b.data());
    EXPECT_EQ(records.StoredCount(), 2);
    EXPECT_EQ(records.Stored(0), b);
    EXPECT_EQ(records.TickedCount(), 1);
    records.SetTicked(5, true); // no such record: ignored
    EXPECT_EQ(records.StoredCount(), 2);
    records.SetMode(MeasurementMode::Output);
    EXPECT_EQ(records.StoredCount(), 0);
}

} // namespace
