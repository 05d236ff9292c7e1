#pragma once

#include "LinkOwner.h"
#include "Measurement.h"

// A link owner that keeps a download as a measurement, for the command line, the archive's replay and the
// tests. The packet log sink is optional.
class MeasurementSink : public LinkOwner {
  public:
    explicit MeasurementSink(Measurement &table, PacketLogSink *packetLog = nullptr)
        : m_table(table), m_packetLog(packetLog)
    {
    }

    PacketLogSink *PacketLog() override { return m_packetLog; }
    void AddStoredRecordRow(int index, const uint8_t *record) override { m_table.SetRecord(index, record); }
    void SetContinuousSummary(const uint8_t *summary) override { m_table.SetSummary(summary); }
    void AddContinuousRecordRow(int index, const uint8_t *record) override { m_table.SetRecord(index, record); }

  private:
    Measurement &m_table;
    PacketLogSink *m_packetLog;
};
