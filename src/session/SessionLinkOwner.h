#pragma once

#include "LinkOwner.h"
#include "PacketLogSink.h"
#include "SessionTypes.h"

#include <functional>

class Clock;

// The link's owner on the session thread. It collects the records and packets of the running job and
// hands them on in batches: whenever 50 ms of link-clock time have passed since the last batch, and
// when the job ends (Flush). An observer, when set, sees every record as it arrives, on this thread.
class SessionLinkOwner final : public LinkOwner, public PacketLogSink {
  public:
    static constexpr qint64 kBatchMicros = 50000;

    using RecordsReady = std::function<void(const RecordBatch &)>;
    using PacketsReady = std::function<void(const PacketBatch &)>;

    SessionLinkOwner(Clock &clock, RecordsReady records, PacketsReady packets);

    void SetObserver(LinkOwner *observer) { m_observer = observer; }
    // A new job: its records go to `sheet`, counted from 0.
    void BeginJob(JobId job, int sheet);
    // Hands over whatever is collected.
    void Flush();
    int RowsHandedOver() const { return m_rows; }
    int Announced() const { return m_announced; }

    PacketLogSink *PacketLog() override { return this; }
    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;
    void AddPacket(int direction, const uint8_t *bytes, int count) override;

  private:
    void AddRecord(bool continuous, const uint8_t *record);
    void MaybeFlush();

    Clock &m_clock;
    RecordsReady m_recordsReady;
    PacketsReady m_packetsReady;
    LinkOwner *m_observer = nullptr;
    RecordBatch m_batch;
    PacketBatch m_packets;
    qint64 m_lastFlush = 0;
    int m_rows = 0;
    int m_announced = -1;
};
