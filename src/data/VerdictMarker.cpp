#include "VerdictMarker.h"

#include "MeasurementRecord.h"

ForceCellMarker VerdictMarker(const PressClassLimits &limits)
{
    if (limits.IsEmpty())
        return {};
    return [limits](const uint8_t *record) -> std::optional<ForceCellMark> {
        const std::optional<ForceRange> range = limits.RangeForSetting(RecordSettingCode(record));
        if (!range)
            return std::nullopt;
        const Verdict verdict = limits.Judge(record);
        return ForceCellMark{verdict == Verdict::Pass ? verdict_colors::kPass : verdict_colors::kFail,
                             VerdictToolTip(verdict, *range)};
    };
}

QString VerdictToolTip(Verdict verdict, const ForceRange &range)
{
    return QStringLiteral("%1 (기준 %2)").arg(VerdictText(verdict), range.DisplayText());
}
