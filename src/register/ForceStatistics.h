#pragma once

#include "PressClassLimits.h"

#include <optional>
#include <vector>

// Statistics of a set of stored forces, each as the grid shows it (tenths of a ton), in tons.
struct ForceStatistics {
    int count = 0;
    double mean = 0;
    double minimum = 0;
    double maximum = 0;
    double deviation = 0; // sample standard deviation (n - 1); 0 for a single force
};

ForceStatistics ComputeForceStatistics(const std::vector<int> &tenths);

// Pass when every force lies within the range, both edges included; none without a range or forces.
Verdict JudgeForces(const std::vector<int> &tenths, const std::optional<ForceRange> &range);

// Process capability of forces against a range: Cp = (HIGH - LOW) / 6s, Cpk = min(HIGH - mean, mean - LOW) / 3s.
struct Capability {
    static constexpr double kCapableCpk = 1.33;
    double cp = 0;
    double cpk = 0;
    ForceStatistics statistics;
    bool Capable() const { return cpk >= kCapableCpk; }
};

// nullopt without a range, with fewer than two forces or when they do not vary (no spread to measure).
std::optional<Capability> ComputeCapability(const std::vector<int> &tenths, const ForceRange &range);
