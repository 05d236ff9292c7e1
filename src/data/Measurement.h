#pragma once

#include "InstrumentIdentity.h"
#include "MeasurementRecord.h"
#include "PressClassLimits.h"

#include <optional>
#include <vector>

enum class MeasurementMode { Memory = 0, Output = 1 };

// One shown download as data: its raw records in the order the link numbered them, the rows they decode
// to, the operator's ticks (MEMORY), the continuous run's summary (OUTPUT), the identity it was read from
// and when, whether it is complete, and each stored record's verdict when press-class limits are set. The
// grid, the reports, the chart, the command line's table and the archive are built from it; none of them
// keeps a copy of the records of its own.
class Measurement {
  public:
    enum class State { Empty, Receiving, Complete, Incomplete };

    explicit Measurement(MeasurementMode mode = MeasurementMode::Memory) : m_mode(mode) {}

    MeasurementMode Mode() const { return m_mode; }
    bool Continuous() const { return m_mode == MeasurementMode::Output; }
    // Changing the mode empties the records.
    void SetMode(MeasurementMode mode);
    // Records, summary, ticks and completeness go; identity, time and limits stay.
    void Clear();

    // A new download of `mode` starts: everything earlier goes.
    void Begin(MeasurementMode mode);
    // The download ended with `code` (0 success, a result code otherwise) and `damaged` records left out.
    void Finish(int code, int damaged);
    State GetState() const { return m_state; }
    int ResultCode() const { return m_result; }
    int Damaged() const { return m_damaged; }
    // Cut short (a failure or a cancel) or with damaged records left out.
    bool Incomplete() const { return m_state == State::Incomplete || m_damaged > 0; }
    // What is missing from an incomplete table ("12건만 받음", "손상된 기록 2건 제외"); empty when complete.
    QString IncompleteWhy() const;

    // Record `index` (from 0, as the download numbers them) of the mode; an index already held is replaced,
    // so a download re-run with the same rows rebuilds the same set. Stored records arrive ticked.
    void SetRecord(int index, const uint8_t *record, bool ticked = true);
    int Count() const { return static_cast<int>(m_records.size()); }
    const RawRecord &Record(int index) const { return m_records[index]; }
    // The record's texts as the tables show them (stored: tons; continuous: kN).
    RecordTexts RowTexts(int index) const;

    // The operator's choice of stored records for a report.
    void SetTicked(int index, bool ticked);
    bool IsTicked(int index) const { return m_ticked[index]; }
    int TickedCount() const;

    // The press classes' ranges stored records are judged against. They are the station's setting, not the
    // download's, so they stay across downloads and mode changes.
    void SetLimits(const PressClassLimits &limits) { m_limits = limits; }
    const PressClassLimits &Limits() const { return m_limits; }
    // Whether rows have verdicts at all: stored records with at least one class range set.
    bool Judged() const { return !Continuous() && !m_limits.IsEmpty(); }
    // Row `index` against its class's range. None when the rows are not judged, for a class without a range,
    // for an index not held, and for a row whose time cannot be read (a slot no record arrived in).
    Verdict RowVerdict(int index) const;

    void SetSummary(const uint8_t *summary);
    const std::optional<RawSummary> &Summary() const { return m_summary; }
    std::optional<SummaryTexts> SummaryRow() const;

    // The instrument the download came from (a field not read: null text) and when it was made.
    std::optional<InstrumentIdentity> identity;
    qint64 madeAt = 0;

    // The chart's view of the records by mode: the stored ones (MEMORY) or the continuous ones (OUTPUT).
    void SetStoredRecord(int index, const uint8_t *record, bool ticked = true);
    void SetContinuousRecord(int index, const uint8_t *record);
    int StoredCount() const { return Continuous() ? 0 : Count(); }
    const RawRecord &Stored(int index) const { return Record(index); }
    int ContinuousCount() const { return Continuous() ? Count() : 0; }
    const RawRecord &Continuous(int index) const { return Record(index); }

  private:
    MeasurementMode m_mode;
    std::vector<RawRecord> m_records;
    std::vector<bool> m_ticked;
    std::optional<RawSummary> m_summary;
    PressClassLimits m_limits;
    State m_state = State::Empty;
    int m_result = 0;
    int m_damaged = 0;
};
