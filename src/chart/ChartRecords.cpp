#include "ChartRecords.h"

#include "CSpreadSheet.h"

#include <algorithm>

namespace {

RawRecord Copy(const uint8_t *record)
{
    RawRecord raw;
    std::copy(record, record + kRecordSize, raw.begin());
    return raw;
}

} // namespace

void ChartRecords::SetMode(ChartMode mode)
{
    if (mode != m_mode)
        Clear();
    m_mode = mode;
}

void ChartRecords::Clear()
{
    m_stored.clear();
    m_ticked.clear();
    m_summary.reset();
    m_continuous.clear();
}

void ChartRecords::SetStoredRecord(int index, const uint8_t *record, bool ticked)
{
    if (index < 0)
        return;
    if (index >= StoredCount()) {
        m_stored.resize(index + 1);
        m_ticked.resize(index + 1, false);
    }
    m_stored[index] = Copy(record);
    m_ticked[index] = ticked;
}

void ChartRecords::SetTicked(int index, bool ticked)
{
    if (index >= 0 && index < StoredCount())
        m_ticked[index] = ticked;
}

void ChartRecords::TakeTicks(const CSpreadSheet &storedSheet)
{
    for (int i = 0; i < StoredCount(); ++i) {
        int ticked = 0;
        m_ticked[i] = storedSheet.GetCellInteger(1, i + 1, &ticked) && ticked == 1;
    }
}

int ChartRecords::TickedCount() const
{
    return static_cast<int>(std::count(m_ticked.begin(), m_ticked.end(), true));
}

void ChartRecords::SetSummary(const uint8_t *summary)
{
    RawSummary raw;
    std::copy(summary, summary + kSummarySize, raw.begin());
    m_summary = raw;
}

void ChartRecords::SetContinuousRecord(int index, const uint8_t *record)
{
    if (index < 0)
        return;
    if (index >= ContinuousCount())
        m_continuous.resize(index + 1);
    m_continuous[index] = Copy(record);
}
