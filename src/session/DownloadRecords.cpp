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
    // A batch names its table; only the shown one's changes are told.
    const MeasurementMode mode = batch.continuous ? MeasurementMode::Output : MeasurementMode::Memory;
    Measurement &table = Table(mode);
    const bool shown = mode == m_shown;
    if (!batch.summary.isEmpty()) {
        table.SetSummary(reinterpret_cast<const uint8_t *>(batch.summary.constData()));
        if (shown)
            emit summaryChanged();
    }
    if (batch.records.isEmpty())
        return;
    const int first = table.Count();
    for (int i = 0; i < batch.Count(); ++i)
        table.SetRecord(first + i, batch.Record(i));
    if (shown)
        emit recordsAppended(first, batch.Count());
}

void DownloadRecords::Finish(int code, int damaged)
{
    ShownTable().Finish(code, damaged);
    emit finished(code);
}

void DownloadRecords::SetLimits(const PressClassLimits &limits)
{
    for (Measurement &table : m_tables)
        table.SetLimits(limits);
}

void DownloadRecords::Clear(MeasurementMode mode)
{
    Table(mode).Clear();
}
