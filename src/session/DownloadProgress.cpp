#include "DownloadProgress.h"

void DownloadProgress::Begin(Measurement &table, MeasurementMode mode)
{
    table.Begin(mode);
    m_running = &table;
    m_mode = mode;
    m_rows = 0;
    m_announced = -1;
    m_receivedRows = -1;
}

void DownloadProgress::Receive(const RecordBatch &batch, Measurement &table)
{
    if (!batch.summary.isEmpty())
        table.SetSummary(reinterpret_cast<const uint8_t *>(batch.summary.constData()));
    for (int i = 0; i < batch.Count(); ++i)
        table.SetRecord(batch.firstIndex + i, batch.Record(i));
    if (&table != m_running)
        return;
    if (!batch.summary.isEmpty())
        m_announced = static_cast<uint8_t>(batch.summary[0]);
    if (!batch.records.isEmpty())
        m_rows = batch.firstIndex + batch.Count();
}

void DownloadProgress::Finish(int code, int damaged, bool received)
{
    if (!m_running)
        return;
    m_running->Finish(code, damaged);
    if (m_running->Incomplete())
        m_incomplete = m_running;
    if (received)
        m_receivedRows = m_rows;
    m_running = nullptr;
}

const Measurement *DownloadProgress::IncompleteTable() const
{
    return m_incomplete && !m_incomplete->IncompleteWhy().isEmpty() ? m_incomplete : nullptr;
}

QString DownloadProgress::StatusText() const
{
    if (Running())
        return m_announced >= 0 ? QStringLiteral("수신 중 : %1 / %2건").arg(m_rows).arg(m_announced)
                                : QStringLiteral("수신 중 : %1건").arg(m_rows);
    if (const Measurement *incomplete = IncompleteTable())
        return QStringLiteral("%1 표가 완전하지 않습니다 : %2")
            .arg(incomplete->Continuous() ? QStringLiteral("OUTPUT") : QStringLiteral("MEMORY"),
                 incomplete->IncompleteWhy());
    if (m_receivedRows >= 0)
        return QStringLiteral("%1건 수신").arg(m_receivedRows);
    return QString();
}
