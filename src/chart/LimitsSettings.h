#pragma once

#include "PressClassLimits.h"

// The press classes' ranges as the configuration file keeps them, in its [LIMITS] section.

// From the text of the configuration file: a key that is missing, empty or not a valid range leaves its
// class without a range; each invalid one adds a line to *problems ("[LIMITS] KEY=VALUE : why").
PressClassLimits PressClassLimitsFromIniText(const QString &iniText, QStringList *problems = nullptr);

// The configuration file at path; a missing file has no ranges.
PressClassLimits LoadPressClassLimits(const QString &iniPath, QStringList *problems = nullptr);

// Writes the [LIMITS] keys into the file, keeping everything else in it. False when it cannot be written;
// the file then stays as it was.
bool SavePressClassLimits(const PressClassLimits &limits, const QString &iniPath);
