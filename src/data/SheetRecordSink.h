#pragma once

#include "LinkOwner.h"
#include "RecordTables.h"

class CSpreadSheet;

// A link owner without a window: the downloads' records become rows of a CSpreadSheet through the same
// row builders the main window uses. For the command line and the tests. The packet log sink is
// optional.
class SheetRecordSink : public LinkOwner {
  public:
    explicit SheetRecordSink(CSpreadSheet &grid, int textColor = RecordSheetColors().textColor,
                             PacketLogSink *packetLog = nullptr);

    void SetPacketLog(PacketLogSink *packetLog) { m_packetLog = packetLog; }
    RecordTableWriter &Writer() { return m_writer; }

    PacketLogSink *PacketLog() override { return m_packetLog; }
    void AddStoredRecordRow(int index, const uint8_t *record) override;
    void SetContinuousSummary(const uint8_t *summary) override;
    void AddContinuousRecordRow(int index, const uint8_t *record) override;

  private:
    RecordTableWriter m_writer;
    PacketLogSink *m_packetLog;
};
