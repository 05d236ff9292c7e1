#pragma once

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <optional>

// A measurement as the instrument sends it. Stored and continuous records share one 10-byte layout; the
// continuous run's summary has 9 bytes (see MeasurementRecord.h for the fields).
constexpr int kRecordSize = 10;
constexpr int kSummarySize = 9;

using RawRecord = std::array<uint8_t, kRecordSize>;
using RawSummary = std::array<uint8_t, kSummarySize>;

// The record's time (fields 0-6, the instrument's local wall-clock time) as seconds since 1970; nullopt
// when the fields cannot be a calendar time.
std::optional<qint64> RecordTime(const uint8_t *record);

inline RawRecord ToRawRecord(const uint8_t *bytes)
{
    RawRecord record;
    for (int i = 0; i < kRecordSize; ++i)
        record[i] = bytes[i];
    return record;
}

inline RawSummary ToRawSummary(const uint8_t *bytes)
{
    RawSummary summary;
    for (int i = 0; i < kSummarySize; ++i)
        summary[i] = bytes[i];
    return summary;
}
