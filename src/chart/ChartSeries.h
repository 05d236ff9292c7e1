#pragma once

#include "Measurement.h"
#include "PressClassLimits.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <array>
#include <optional>

// The numbers a chart of the records is drawn with, worked out without any widget so that the window, the
// PDF report and the tests share them.
//
// MEMORY: force in tons (raw / 98) against the measurement time (x in milliseconds since 1970, as the time
// axis takes it), one series per setting code with ticked and unticked rows apart, the records that fail
// their class range, and a band for each class range among the classes shown.
// OUTPUT: force in kN (raw / 10) against the record number from 1, and the summary's average, minimum and
// maximum as lines (truncated to 0.1 kN, as the table shows them).

enum class ChartScope {
    AllRecords, // the window: every record, ticked ones emphasised
    TickedOnly  // a report: only what it reports
};

// Setting codes 0..2 each have a series; any other code goes to the last one.
constexpr int kSettingSeriesCount = kPressClassCount + 1;

struct SettingSeries {
    QString name; // "10-13톤", "15톤", "25-30톤", "기타"
    QList<QPointF> ticked;
    QList<QPointF> unticked;
};

struct LimitBand {
    int pressClass = 0;
    ForceRange range;
};

struct SummaryLine {
    QString name; // "압력 평균 값", "최소 값", "최대 값"
    double value = 0.0;
};

struct VerdictCounts {
    int pass = 0;
    int fail = 0;
};

struct ChartSeriesData {
    MeasurementMode mode = MeasurementMode::Memory;
    std::array<SettingSeries, kSettingSeriesCount> settings;
    QList<QPointF> failing;
    QList<LimitBand> bands;
    QList<QPointF> points;
    QList<SummaryLine> summaryLines;
    VerdictCounts counts; // over the ticked stored records of a class with a range

    QString XTitle() const;
    QString YTitle() const;
};

// The series index of a setting code.
int SettingSeriesIndex(int settingCode);
QString SettingSeriesName(int index);

// One stored record's point (time in ms, tons); nullopt when its time fields are impossible.
std::optional<QPointF> StoredPoint(const RawRecord &record);
// One continuous record's point (number from 1, kN).
QPointF ContinuousPoint(int index, const RawRecord &record);
// The value a summary statistic is shown with (0.01 kN raw, last digit dropped), in kN.
double SummaryValue(int raw);

// Bands, failing points and counts follow the verdicts and limits the records carry.
ChartSeriesData BuildChartSeries(const Measurement &records, ChartScope scope);

// Counts over the ticked stored records.
VerdictCounts CountVerdicts(const Measurement &records);
