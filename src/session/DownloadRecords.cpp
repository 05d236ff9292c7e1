#include "DownloadRecords.h"

DownloadRecords::DownloadRecords(QObject *parent) : QObject(parent) {}

void DownloadRecords::Begin(bool continuous)
{
    m_shown = continuous ? MeasurementMode::Output : MeasurementMode::Memory;
    ShownTable().Begin(m_shown);
    emit cleared();
}

void DownloadRecords::Append(const RecordBatch &batch)
{
    if (!batch.summary.isEmpty()) {
        ShownTable().SetSummary(reinterpret_cast<const uint8_t *>(batch.summary.constData()));
        emit summaryChanged();
    }
    if (batch.records.isEmpty())
        return;
    const int first = Count();
    for (int i = 0; i < batch.Count(); ++i)
        ShownTable().SetRecord(first + i, batch.Record(i));
    emit recordsAppended(first, batch.Count());
}

void DownloadRecords::Finish(int code, int damaged)
{
    ShownTable().Finish(code, damaged);
    emit finished(code);
}

void DownloadRecords::Clear(MeasurementMode mode)
{
    Table(mode).Clear();
}
