#include "SessionLinkOwner.h"

#include "Clock.h"
#include "MeasurementRecord.h"

int RecordBatch::Count() const
{
    return int(records.size() / kRecordSize);
}

SessionLinkOwner::SessionLinkOwner(Clock &clock, RecordsReady records, PacketsReady packets)
    : m_clock(clock), m_recordsReady(std::move(records)), m_packetsReady(std::move(packets))
{
}

void SessionLinkOwner::BeginJob(JobId job, int sheet)
{
    Flush();
    m_batch = RecordBatch{};
    m_batch.job = job;
    m_batch.sheet = sheet;
    m_rows = 0;
    m_announced = -1;
    m_lastFlush = m_clock.MonotonicMicros();
}

void SessionLinkOwner::Flush()
{
    m_lastFlush = m_clock.MonotonicMicros();
    if (!m_batch.records.isEmpty() || !m_batch.summary.isEmpty()) {
        m_recordsReady(m_batch);
        m_batch.firstIndex = m_rows;
        m_batch.records.clear();
        m_batch.summary.clear();
    }
    if (!m_packets.isEmpty()) {
        m_packetsReady(m_packets);
        m_packets.clear();
    }
}

void SessionLinkOwner::MaybeFlush()
{
    if (m_clock.MonotonicMicros() - m_lastFlush >= kBatchMicros)
        Flush();
}

void SessionLinkOwner::AddRecord(bool continuous, const uint8_t *record)
{
    m_batch.continuous = continuous;
    m_batch.records.append(reinterpret_cast<const char *>(record), kRecordSize);
    ++m_rows;
    MaybeFlush();
}

void SessionLinkOwner::AddStoredRecordRow(int index, const uint8_t *record)
{
    if (m_observer)
        m_observer->AddStoredRecordRow(index, record);
    AddRecord(false, record);
}

void SessionLinkOwner::SetContinuousSummary(const uint8_t *summary)
{
    if (m_observer)
        m_observer->SetContinuousSummary(summary);
    // A summary after records would be shown before them: hand those over first.
    if (!m_batch.records.isEmpty())
        Flush();
    m_batch.continuous = true;
    m_batch.summary = QByteArray(reinterpret_cast<const char *>(summary), kSummarySize);
    m_announced = summary[0];
    MaybeFlush();
}

void SessionLinkOwner::AddContinuousRecordRow(int index, const uint8_t *record)
{
    if (m_observer)
        m_observer->AddContinuousRecordRow(index, record);
    AddRecord(true, record);
}

void SessionLinkOwner::AddPacket(int direction, const uint8_t *bytes, int count)
{
    if (m_observer)
        if (PacketLogSink *sink = m_observer->PacketLog())
            sink->AddPacket(direction, bytes, count);
    m_packets.append(
        PacketEntry{direction, QByteArray(reinterpret_cast<const char *>(bytes), qMax(count, 0)), m_clock.Now()});
    MaybeFlush();
}
