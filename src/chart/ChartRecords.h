#pragma once

#include "MeasurementRecord.h"

#include <QList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What the chart is drawn from: the raw records of the table the main window shows. MEMORY: the stored
// records in download order, each with its row's tick; OUTPUT: the continuous summary and records.
enum class ChartMode { Memory = 0, Output = 1 };

class CSpreadSheet;

using RawRecord = std::array<uint8_t, kRecordSize>;
using RawSummary = std::array<uint8_t, kSummarySize>;

class ChartRecords {
  public:
    ChartMode Mode() const { return m_mode; }
    // Changing the mode empties the records.
    void SetMode(ChartMode mode);
    void Clear();

    // Stored records (MEMORY). index from 0 as the download numbers them: a record with an index already
    // held replaces it, so a download re-run with the same rows rebuilds the same set.
    void SetStoredRecord(int index, const uint8_t *record, bool ticked = true);
    void SetTicked(int index, bool ticked);
    // The ticks of the stored-record sheet (the grid's addressed sheet, check boxes in column 1): row
    // index + 1 holds record index. After the operator's selection commands change many at once.
    void TakeTicks(const CSpreadSheet &storedSheet);
    int StoredCount() const { return static_cast<int>(m_stored.size()); }
    const RawRecord &Stored(int index) const { return m_stored[index]; }
    bool IsTicked(int index) const { return m_ticked[index]; }
    int TickedCount() const;

    // Continuous run (OUTPUT).
    void SetSummary(const uint8_t *summary);
    const std::optional<RawSummary> &Summary() const { return m_summary; }
    void SetContinuousRecord(int index, const uint8_t *record);
    int ContinuousCount() const { return static_cast<int>(m_continuous.size()); }
    const RawRecord &Continuous(int index) const { return m_continuous[index]; }

  private:
    ChartMode m_mode = ChartMode::Memory;
    std::vector<RawRecord> m_stored;
    std::vector<bool> m_ticked;
    std::optional<RawSummary> m_summary;
    std::vector<RawRecord> m_continuous;
};
