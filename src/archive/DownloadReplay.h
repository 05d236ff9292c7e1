#pragma once

#include "ArchiveTypes.h"

class CSpreadSheet;
class LinkOwner;

// Hands an archived download's records to a link owner exactly as the link handed them when it ran
// (the summary first, then each record at its position), so that the owner's row builders make the same
// rows: the main window's grid, or a SheetRecordSink. The owner's sheet must be emptied and addressed as
// before a download of the same mode.
void ReplayDownload(const ArchivedDownload &download, LinkOwner &owner);

// The data grid's two sheets made from scratch with the download's rows, the mode's sheet addressed.
void FillRecordSheets(const ArchivedDownload &download, CSpreadSheet &grid);
