#include "DownloadRecords.h"

DownloadRecords::DownloadRecords(QObject *parent) : QObject(parent) {}

void DownloadRecords::Begin(bool continuous)
{
    m_shown = continuous ? MeasurementMode::Output : MeasurementMode::Memory;
    m_progress.Begin(ShownTable(), m_shown);
    emit cleared();
}

void DownloadRecords::Append(const RecordBatch &batch)
{
    // A batch names its table; only the shown one's changes are told.
    const MeasurementMode mode = batch.continuous ? MeasurementMode::Output : MeasurementMode::Memory;
    Measurement &table = Table(mode);
    m_progress.Receive(batch, table);
    if (mode != m_shown)
        return;
    if (!batch.summary.isEmpty())
        emit summaryChanged();
    if (!batch.records.isEmpty())
        emit recordsAppended(batch.firstIndex, batch.Count());
}

void DownloadRecords::Finish(int code, int damaged, bool received)
{
    m_progress.Finish(code, damaged, received);
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
