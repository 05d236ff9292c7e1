#pragma once

#include "RawRecord.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The instrument's measurements as bytes, and the texts they are shown with.
//
// Stored and continuous records share one 10-byte layout, all fields big-endian and unsigned:
//   0-1 year, 2 month, 3 day, 4 hour, 5 minute, 6 second (the instrument's local wall-clock time),
//   7-8 raw force in 0.1 kN, 9 setting code.
// The continuous summary has 9 bytes: 0 the number of records that follow, then average, minimum,
// maximum and deviation, each 16 bits in 0.01 kN.

constexpr int kSummaryValueCount = 4;

// A stored-record frame whose first record byte (the year's high byte) is zero ends the stream.
inline bool IsEndMarker(const uint8_t *record)
{
    return record[0] == 0x00;
}

int RecordRawForce(const uint8_t *record);
int RecordSettingCode(const uint8_t *record);

// Stored records are shown in tons (9.8 kN a ton): "%4.1f 톤".
QString StoredForceText(int rawForce);
// Continuous records are shown in kN: "%.1f KN".
QString ContinuousForceText(int rawForce);
// Summary values drop their last digit before scaling, so they never round up: "%02.1f KN".
QString SummaryValueText(int rawValue);

// What the setting code says: the class of press under test and the load cell used. Codes other than
// 0, 1 and 2 have no texts.
QString SetValueText(int settingCode);
QString LoadCellText(int settingCode);

// The texts of one record row. The time is empty when the record's time fields are impossible.
struct RecordTexts {
    QString time;
    QString force;
    QString setValue;
    QString loadCell;
};

RecordTexts StoredRecordTexts(const uint8_t *record);
RecordTexts ContinuousRecordTexts(const uint8_t *record);

// The texts of the summary row: the record count and the four values in the order average, minimum,
// maximum, deviation.
struct SummaryTexts {
    QString count;
    std::array<QString, kSummaryValueCount> values;
};

SummaryTexts ContinuousSummaryTexts(const uint8_t *summary);
