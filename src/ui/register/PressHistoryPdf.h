#pragma once

#include "DueDates.h"
#include "PressRegister.h"

#include <QString>

// What the history PDF of a press ("설비 점검 이력") shows, for an auditor: the register's data, the trend, the
// capability over the latest checks and every check.
struct PressHistory {
    static constexpr int kCapabilityChecks = 10;
    Press press;
    QList<PressCheck> checks;             // latest first
    std::optional<ForceRange> range;      // what the press is judged against now
    std::optional<Capability> capability; // over the latest kCapabilityChecks checks
    DueDate due;
    qint64 printedAt = 0;

    // The capability as one line: "Cp 1.65, Cpk 1.60 (최근 점검 10회, 기록 120개)" and why there is none.
    QString CapabilityText() const;
    // The range as the register shows it, with where it comes from.
    QString RangeText() const;
};

// Gathers a press's history from the register; nullopt with the register's Failure() when it cannot.
std::optional<PressHistory> LoadPressHistory(PressRegister &presses, const QString &pressId,
                                             const PressClassLimits &stationLimits, qint64 now);

// Writes the PDF (A4 portrait) to a temporary file beside path and renames it into place. False with *error
// (Korean) when it cannot be written.
bool WritePressHistoryPdf(const QString &path, const PressHistory &history, QString *error = nullptr);
