#include "Measurement.h"

#include "ResultCodes.h"

#include <algorithm>

void Measurement::SetMode(MeasurementMode mode)
{
    if (mode != m_mode)
        Clear();
    m_mode = mode;
}

void Measurement::Clear()
{
    m_records.clear();
    m_ticked.clear();
    m_summary.reset();
    m_state = State::Empty;
    m_result = 0;
    m_damaged = 0;
}

void Measurement::Begin(MeasurementMode mode)
{
    Clear();
    m_mode = mode;
    m_state = State::Receiving;
}

void Measurement::Finish(int code, int damaged)
{
    m_result = code;
    m_damaged = damaged;
    m_state = code < 0 ? State::Incomplete : State::Complete;
}

QString Measurement::IncompleteWhy() const
{
    return IncompleteTableText(m_state == State::Incomplete, Count(), m_damaged);
}

void Measurement::SetRecord(int index, const uint8_t *record, bool ticked)
{
    if (index < 0)
        return;
    if (index >= Count()) {
        m_records.resize(index + 1);
        m_ticked.resize(index + 1, false);
    }
    m_records[index] = ToRawRecord(record);
    m_ticked[index] = !Continuous() && ticked;
}

RecordTexts Measurement::RowTexts(int index) const
{
    const uint8_t *record = m_records[index].data();
    return Continuous() ? ContinuousRecordTexts(record) : StoredRecordTexts(record);
}

void Measurement::SetTicked(int index, bool ticked)
{
    if (index >= 0 && index < Count() && !Continuous())
        m_ticked[index] = ticked;
}

int Measurement::TickedCount() const
{
    return static_cast<int>(std::count(m_ticked.begin(), m_ticked.end(), true));
}

Verdict Measurement::RowVerdict(int index) const
{
    if (!Judged() || index < 0 || index >= Count() || !RecordTime(m_records[index].data()))
        return Verdict::None;
    return m_limits.Judge(m_records[index].data());
}

void Measurement::SetSummary(const uint8_t *summary)
{
    m_summary = ToRawSummary(summary);
}

std::optional<SummaryTexts> Measurement::SummaryRow() const
{
    if (!m_summary)
        return std::nullopt;
    return ContinuousSummaryTexts(m_summary->data());
}

void Measurement::SetStoredRecord(int index, const uint8_t *record, bool ticked)
{
    SetRecord(index, record, ticked);
}

void Measurement::SetContinuousRecord(int index, const uint8_t *record)
{
    SetRecord(index, record);
}
