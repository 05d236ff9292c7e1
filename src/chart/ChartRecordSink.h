#pragma once

#include "Measurement.h"
#include "SheetRecordSink.h"

// A sheet sink that also keeps the records as bytes, for a chart of what was downloaded without a window
// (the command line's --pdf and --png, the tests). Rows arrive ticked, as the sheet's do.
class ChartRecordSink : public SheetRecordSink {
  public:
    ChartRecordSink(CSpreadSheet &grid, MeasurementMode mode, PacketLogSink *packetLog = nullptr);

    Measurement &Records() { return m_records; }

    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    Measurement m_records;
};
