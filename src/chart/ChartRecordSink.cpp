#include "ChartRecordSink.h"

ChartRecordSink::ChartRecordSink(CSpreadSheet &grid, MeasurementMode mode, PacketLogSink *packetLog)
    : SheetRecordSink(grid, RecordSheetColors().textColor, packetLog)
{
    m_records.SetMode(mode);
}

void ChartRecordSink::AddStoredRecordRow(int index, const uint8_t *record)
{
    SheetRecordSink::AddStoredRecordRow(index, record);
    m_records.SetStoredRecord(index, record);
}

void ChartRecordSink::SetContinuousSummary(const uint8_t *summary)
{
    SheetRecordSink::SetContinuousSummary(summary);
    m_records.SetSummary(summary);
}

void ChartRecordSink::AddContinuousRecordRow(int index, const uint8_t *record)
{
    SheetRecordSink::AddContinuousRecordRow(index, record);
    m_records.SetContinuousRecord(index, record);
}
