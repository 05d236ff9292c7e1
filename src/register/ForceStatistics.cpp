#include "ForceStatistics.h"

#include <algorithm>
#include <cmath>

ForceStatistics ComputeForceStatistics(const std::vector<int> &tenths)
{
    ForceStatistics statistics;
    statistics.count = int(tenths.size());
    if (tenths.empty())
        return statistics;
    // Sums of whole tenths are exact; the mean and deviation are taken in tenths and scaled once.
    long long sum = 0;
    for (const int value : tenths)
        sum += value;
    const double mean = double(sum) / double(tenths.size());
    double squares = 0;
    for (const int value : tenths)
        squares += (value - mean) * (value - mean);
    const auto [low, high] = std::minmax_element(tenths.begin(), tenths.end());
    statistics.mean = mean / 10.0;
    statistics.minimum = *low / 10.0;
    statistics.maximum = *high / 10.0;
    statistics.deviation = tenths.size() > 1 ? std::sqrt(squares / double(tenths.size() - 1)) / 10.0 : 0.0;
    return statistics;
}

Verdict JudgeForces(const std::vector<int> &tenths, const std::optional<ForceRange> &range)
{
    if (!range || tenths.empty())
        return Verdict::None;
    for (const int value : tenths)
        if (!range->Contains(value))
            return Verdict::Fail;
    return Verdict::Pass;
}

std::optional<Capability> ComputeCapability(const std::vector<int> &tenths, const ForceRange &range)
{
    Capability capability;
    capability.statistics = ComputeForceStatistics(tenths);
    const ForceStatistics &s = capability.statistics;
    if (s.count < 2 || s.deviation <= 0)
        return std::nullopt;
    capability.cp = (range.High() - range.Low()) / (6 * s.deviation);
    capability.cpk = std::min(range.High() - s.mean, s.mean - range.Low()) / (3 * s.deviation);
    return capability;
}
