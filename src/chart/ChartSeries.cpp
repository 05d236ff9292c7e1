#include "ChartSeries.h"

namespace {

int Raw16(const RawSummary &summary, int offset)
{
    return summary[offset] * 256 + summary[offset + 1];
}

void BuildStored(const Measurement &records, ChartScope scope, ChartSeriesData &data)
{
    std::array<bool, kPressClassCount> classShown{};
    for (int i = 0; i < records.StoredCount(); ++i) {
        const bool ticked = records.IsTicked(i);
        if (scope == ChartScope::TickedOnly && !ticked)
            continue;
        const RawRecord &record = records.Stored(i);
        const std::optional<QPointF> point = StoredPoint(record);
        if (!point)
            continue;
        const int setting = RecordSettingCode(record.data());
        SettingSeries &series = data.settings[SettingSeriesIndex(setting)];
        (ticked ? series.ticked : series.unticked).append(*point);
        if (const std::optional<int> pressClass = PressClassOfSetting(setting))
            classShown[*pressClass] = true;
        if (records.RowVerdict(i) == Verdict::Fail)
            data.failing.append(*point);
    }
    const PressClassLimits &limits = records.Limits();
    for (int c = 0; c < kPressClassCount; ++c)
        if (classShown[c] && limits.Range(c))
            data.bands.append(LimitBand{c, *limits.Range(c)});
    data.counts = CountVerdicts(records);
}

void BuildContinuous(const Measurement &records, ChartSeriesData &data)
{
    data.points.reserve(records.ContinuousCount());
    for (int i = 0; i < records.ContinuousCount(); ++i)
        data.points.append(ContinuousPoint(i, records.Continuous(i)));
    if (const auto &summary = records.Summary()) {
        // Bytes 1-2 average, 3-4 minimum, 5-6 maximum.
        data.summaryLines = {{QStringLiteral("압력 평균 값"), SummaryValue(Raw16(*summary, 1))},
                             {QStringLiteral("최소 값"), SummaryValue(Raw16(*summary, 3))},
                             {QStringLiteral("최대 값"), SummaryValue(Raw16(*summary, 5))}};
    }
}

} // namespace

QString ChartSeriesData::XTitle() const
{
    return mode == MeasurementMode::Memory ? QStringLiteral("측정 시간") : QStringLiteral("측정 번호 (No)");
}

QString ChartSeriesData::YTitle() const
{
    return mode == MeasurementMode::Memory ? QStringLiteral("측정 압력 값 (톤)") : QStringLiteral("측정 압력 값 (KN)");
}

int SettingSeriesIndex(int settingCode)
{
    return PressClassOfSetting(settingCode).value_or(kSettingSeriesCount - 1);
}

QString SettingSeriesName(int index)
{
    return index < kPressClassCount ? PressClassLimits::ClassName(index) : QStringLiteral("기타");
}

std::optional<QPointF> StoredPoint(const RawRecord &record)
{
    const std::optional<qint64> time = RecordTime(record.data());
    if (!time)
        return std::nullopt;
    return QPointF(double(*time) * 1000.0, RecordRawForce(record.data()) / 98.0);
}

QPointF ContinuousPoint(int index, const RawRecord &record)
{
    return QPointF(index + 1, RecordRawForce(record.data()) / 10.0);
}

double SummaryValue(int raw)
{
    return (raw / 10) / 10.0;
}

ChartSeriesData BuildChartSeries(const Measurement &records, ChartScope scope)
{
    ChartSeriesData data;
    data.mode = records.Mode();
    for (int i = 0; i < kSettingSeriesCount; ++i)
        data.settings[i].name = SettingSeriesName(i);
    if (records.Mode() == MeasurementMode::Memory)
        BuildStored(records, scope, data);
    else
        BuildContinuous(records, data);
    return data;
}

VerdictCounts CountVerdicts(const Measurement &records)
{
    VerdictCounts counts;
    for (int i = 0; i < records.StoredCount(); ++i) {
        if (!records.IsTicked(i))
            continue;
        const Verdict verdict = records.RowVerdict(i);
        counts.pass += verdict == Verdict::Pass ? 1 : 0;
        counts.fail += verdict == Verdict::Fail ? 1 : 0;
    }
    return counts;
}
