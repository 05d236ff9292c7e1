#include "SheetRecordSink.h"

SheetRecordSink::SheetRecordSink(CSpreadSheet &grid, int textColor, PacketLogSink *packetLog)
    : m_writer(&grid, textColor), m_packetLog(packetLog)
{
}

void SheetRecordSink::AddStoredRecordRow(int index, const uint8_t *record)
{
    m_writer.AddStoredRecordRow(index, record);
}

void SheetRecordSink::SetContinuousSummary(const uint8_t *summary)
{
    m_writer.SetContinuousSummary(summary);
}

void SheetRecordSink::AddContinuousRecordRow(int index, const uint8_t *record)
{
    m_writer.AddContinuousRecordRow(index, record);
}
