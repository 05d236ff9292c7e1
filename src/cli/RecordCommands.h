#pragma once

#include "ReportTemplate.h"

#include <QString>
#include <QTextStream>

#include <optional>

class CSpreadSheet;

// Seconds since 1970 of a "YYYY-MM-DD" day at 00:00 local time.
std::optional<qint64> ParseDay(const QString &text);

// The download's table as memory and output print it: MEMORY the header line and the stored rows without
// their check-box column, OUTPUT every row of the continuous sheet. `grid` has the mode's sheet addressed.
void PrintDownloadTable(QTextStream &out, const CSpreadSheet &grid, ReportMode mode);
