#pragma once

#include "PressClassLimits.h"

#include <QString>

#include <optional>

// A press of the plant's register (설비), keyed by its asset number.
struct Press {
    static constexpr int kDefaultIntervalDays = 30;
    static constexpr int kMaxIdLength = 32;

    QString id; // the plant's asset number, e.g. "P-07"
    QString name;
    QString location;   // location or line; may be empty
    int pressClass = 0; // 0 "10-13톤", 1 "15톤", 2 "25-30톤", as the instrument's setting codes
    int intervalDays = kDefaultIntervalDays;
    std::optional<ForceRange> range; // its own range; otherwise the station's class limits judge it
    bool inService = true;           // a retired press keeps its history

    // Empty when the press may be kept; otherwise why not (Korean).
    QString Problem() const;
    bool operator==(const Press &) const = default;
};

// "10-13", "15", "25-30" (as the command line takes them) or the class names "10-13톤"...; nullopt for
// anything else.
std::optional<int> PressClassFromText(const QString &text);
