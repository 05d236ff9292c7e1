#pragma once

#include "ReportTemplate.h"

#include <QString>
#include <QTextStream>

#include <optional>

class Measurement;

// Seconds since 1970 of a "YYYY-MM-DD" day at 00:00 local time.
std::optional<qint64> ParseDay(const QString &text);

// The download's table as memory and output print it: MEMORY the header line and the stored rows without
// their check-box column, OUTPUT the summary's titles and texts, the record titles and every record.
void PrintDownloadTable(QTextStream &out, const Measurement &table);
