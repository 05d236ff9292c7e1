#include "DownloadRecords.h"

#include "MeasurementRecord.h"

DownloadRecords::DownloadRecords(QObject *parent) : QObject(parent) {}

void DownloadRecords::Begin(bool continuous)
{
    m_state = State::Receiving;
    m_continuous = continuous;
    m_result = 0;
    m_summary.clear();
    m_records.clear();
    emit cleared();
}

void DownloadRecords::Append(const RecordBatch &batch)
{
    if (!batch.summary.isEmpty()) {
        m_summary = batch.summary;
        emit summaryChanged();
    }
    if (batch.records.isEmpty())
        return;
    const int first = Count();
    m_records.append(batch.records);
    emit recordsAppended(first, batch.Count());
}

void DownloadRecords::Finish(int code)
{
    m_result = code;
    m_state = code < 0 ? State::Incomplete : State::Complete;
    emit finished(code);
}

int DownloadRecords::Count() const
{
    return int(m_records.size() / kRecordSize);
}

const uint8_t *DownloadRecords::Record(int i) const
{
    return reinterpret_cast<const uint8_t *>(m_records.constData()) + i * kRecordSize;
}
