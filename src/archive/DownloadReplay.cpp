#include "DownloadReplay.h"

#include "LinkOwner.h"
#include "MeasurementSink.h"
#include "ResultCodes.h"

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

Measurement ReplayedMeasurement(const ArchivedDownload &download)
{
    const DownloadSummary &summary = download.summary;
    Measurement table;
    table.Begin(summary.mode == DownloadMode::Memory ? MeasurementMode::Memory : MeasurementMode::Output);
    MeasurementSink sink(table);
    ReplayDownload(download, sink);
    table.identity = summary.identity;
    table.madeAt = summary.startedAt;
    const int code = summary.resultCode.value_or(RESULT_CANCELLED);
    const bool cutShort = !summary.complete && summary.damaged == 0;
    table.Finish(code < 0 ? code : cutShort ? RESULT_CANCELLED : RESULT_OK, summary.damaged);
    return table;
}
