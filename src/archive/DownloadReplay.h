#pragma once

#include "ArchiveTypes.h"
#include "Measurement.h"

class LinkOwner;

// Hands an archived download's records to a link owner exactly as the link handed them when it ran
// (the summary first, then each record at its position), so that the owner's row builders make the same
// rows as the download did.
void ReplayDownload(const ArchivedDownload &download, LinkOwner &owner);

// The archived download as the measurement it was shown as: its records, the identity it was filed under,
// when it was made, and complete or not as it ended (never finished: cancelled; cut short without a
// failure code and without damaged records: cancelled).
Measurement ReplayedMeasurement(const ArchivedDownload &download);
