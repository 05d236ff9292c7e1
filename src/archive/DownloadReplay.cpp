#include "DownloadReplay.h"

#include "CSpreadSheet.h"
#include "LinkOwner.h"
#include "RecordTables.h"
#include "SheetRecordSink.h"

void ReplayDownload(const ArchivedDownload &download, LinkOwner &owner)
{
    const bool memory = download.summary.mode == DownloadMode::Memory;
    if (!memory && download.continuousSummary)
        owner.SetContinuousSummary(download.continuousSummary->data());
    for (const auto &[position, record] : download.records) {
        if (memory)
            owner.AddStoredRecordRow(position, record.data());
        else
            owner.AddContinuousRecordRow(position, record.data());
    }
}

void FillRecordSheets(const ArchivedDownload &download, CSpreadSheet &grid)
{
    SetUpRecordSheets(grid, RecordSheetColors{});
    grid.SetAddressedSheet(download.summary.mode == DownloadMode::Memory ? kStoredRecordSheet : kContinuousSheet);
    SheetRecordSink sink(grid);
    ReplayDownload(download, sink);
}
