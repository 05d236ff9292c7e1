// The verdicts a measurement carries: a record passes exactly when the force it is shown with lies in its
// class's range, and rows that are not a judged record have none.

#include "Measurement.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

RawRecord Record(int raw, int setting, int hour = 9)
{
    return {0x07, 0xEA, 12, 7, uint8_t(hour), 30, 5, uint8_t(raw >> 8), uint8_t(raw & 0xFF), uint8_t(setting)};
}

PressClassLimits Limits()
{
    PressClassLimits limits;
    limits.SetRange(0, ForceRange{100, 130}); // 10-13톤: 10.0 ~ 13.0
    limits.SetRange(1, ForceRange{140, 160}); // 15톤: 14.0 ~ 16.0; 25-30톤 has no range
    return limits;
}

// The force a row shows ("13.9 톤"), in tons, as the operator reads it.
double ShownTons(const Measurement &table, int index)
{
    QString text = table.RowTexts(index).force;
    text.chop(QStringLiteral(" 톤").size());
    return text.trimmed().toDouble();
}

} // namespace

TEST(MeasurementVerdict, ARecordPassesExactlyWhenItsShownForceLiesInItsClassRange)
{
    Measurement table(MeasurementMode::Memory);
    table.SetLimits(Limits());
    // Raw forces across both edges of each range with a range, a tenth of a ton either side and more.
    struct Edge {
        int setting;
        double low, high;
    };
    std::vector<Edge> judged;
    for (const Edge &edge : {Edge{0, 10.0, 13.0}, Edge{1, 14.0, 16.0}}) {
        for (double tons : {edge.low, edge.high})
            for (int raw = int(tons * 98) - 20; raw <= int(tons * 98) + 20; ++raw) {
                table.SetRecord(table.Count(), Record(raw, edge.setting).data());
                judged.push_back(edge);
            }
    }
    ASSERT_TRUE(table.Judged());
    int passes = 0, fails = 0;
    for (int i = 0; i < table.Count(); ++i) {
        const double shown = ShownTons(table, i);
        const bool inside = shown >= judged[i].low - 1e-9 && shown <= judged[i].high + 1e-9;
        EXPECT_EQ(table.RowVerdict(i), inside ? Verdict::Pass : Verdict::Fail)
            << "setting " << judged[i].setting << ", shown " << shown;
        (inside ? passes : fails) += 1;
    }
    EXPECT_GT(passes, 0);
    EXPECT_GT(fails, 0);

    // A class without a range and a code that names no class are not judged, whatever the force.
    table.SetRecord(table.Count(), Record(2842, 2).data());
    table.SetRecord(table.Count(), Record(1470, 7).data());
    EXPECT_EQ(table.RowVerdict(table.Count() - 2), Verdict::None);
    EXPECT_EQ(table.RowVerdict(table.Count() - 1), Verdict::None);
}

TEST(MeasurementVerdict, NoLimitsContinuousRunsAndRowsThatAreNoRecordHaveNoVerdict)
{
    const RawRecord failing = Record(500, 0); // 5.1 톤 against 10.0 ~ 13.0

    Measurement unjudged(MeasurementMode::Memory);
    unjudged.SetRecord(0, failing.data());
    EXPECT_FALSE(unjudged.Judged());
    EXPECT_EQ(unjudged.RowVerdict(0), Verdict::None);

    Measurement run(MeasurementMode::Output);
    run.SetLimits(Limits());
    run.SetRecord(0, failing.data());
    EXPECT_FALSE(run.Judged());
    EXPECT_EQ(run.RowVerdict(0), Verdict::None);

    // Record 3 arrived but 0 to 2 did not: their empty slots would read as 0.0 톤 of 10-13톤 and fail.
    Measurement gaps(MeasurementMode::Memory);
    gaps.SetLimits(Limits());
    gaps.SetRecord(3, failing.data());
    ASSERT_EQ(gaps.Count(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(gaps.RowVerdict(i), Verdict::None) << i;
    EXPECT_EQ(gaps.RowVerdict(3), Verdict::Fail);
    // A damaged record (its hour is 24) is no measurement to judge either.
    gaps.SetRecord(4, Record(500, 0, 24).data());
    EXPECT_EQ(gaps.RowVerdict(4), Verdict::None);
    // Indexes outside the table.
    EXPECT_EQ(gaps.RowVerdict(-1), Verdict::None);
    EXPECT_EQ(gaps.RowVerdict(gaps.Count()), Verdict::None);
}

TEST(MeasurementVerdict, LimitsStayAcrossDownloadsAndModeChanges)
{
    Measurement table(MeasurementMode::Memory);
    table.SetLimits(Limits());
    table.Begin(MeasurementMode::Output);
    table.SetMode(MeasurementMode::Memory);
    table.Clear();
    table.Begin(MeasurementMode::Memory);
    table.SetRecord(0, Record(1470, 1).data()); // 15.0 톤 against 14.0 ~ 16.0
    table.Finish(0, 0);
    EXPECT_EQ(table.RowVerdict(0), Verdict::Pass);
    table.SetLimits(PressClassLimits());
    EXPECT_EQ(table.RowVerdict(0), Verdict::None);
}
