#pragma once

#include "ChartRecords.h"
#include "SheetRecordSink.h"

// A sheet sink that also keeps the records as bytes, for a chart of what was downloaded without a window
// (the command line's --pdf and --png, the tests). Rows arrive ticked, as the sheet's do.
class ChartRecordSink : public SheetRecordSink {
  public:
    ChartRecordSink(CSpreadSheet &grid, ChartMode mode, PacketLogSink *packetLog = nullptr);

    ChartRecords &Records() { return m_records; }

    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    ChartRecords m_records;
};
