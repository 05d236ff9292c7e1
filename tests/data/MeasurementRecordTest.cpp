#include "MeasurementRecord.h"

#include <gtest/gtest.h>

#include <array>

namespace {
using Bytes = std::array<uint8_t, kRecordSize>;

Bytes Record(int year, int month, int day, int hour, int minute, int second, int raw = 0, int code = 0)
{
    return {uint8_t(year >> 8), uint8_t(year),   uint8_t(month),    uint8_t(day), uint8_t(hour),
            uint8_t(minute),    uint8_t(second), uint8_t(raw >> 8), uint8_t(raw), uint8_t(code)};
}
} // namespace

TEST(MeasurementRecord, ForceTextsKeepTheirWidthAndUnitAcrossTheRawRange)
{
    EXPECT_EQ(StoredForceText(0), QString::fromUtf8(" 0.0 톤"));
    EXPECT_EQ(StoredForceText(1470), QString::fromUtf8("15.0 톤"));
    EXPECT_EQ(StoredForceText(65535), QString::fromUtf8("668.7 톤"));
    EXPECT_EQ(ContinuousForceText(0), QStringLiteral("0.0 KN"));
    EXPECT_EQ(ContinuousForceText(1234), QStringLiteral("123.4 KN"));
    EXPECT_EQ(ContinuousForceText(65535), QStringLiteral("6553.5 KN"));
}

TEST(MeasurementRecord, SummaryValuesAreTruncatedNeverRoundedUp)
{
    EXPECT_EQ(SummaryValueText(12340), QStringLiteral("123.4 KN"));
    EXPECT_EQ(SummaryValueText(12345), QStringLiteral("123.4 KN"));
    EXPECT_EQ(SummaryValueText(12349), QStringLiteral("123.4 KN"));
    EXPECT_EQ(SummaryValueText(9), QStringLiteral("0.0 KN"));
    EXPECT_EQ(SummaryValueText(65535), QStringLiteral("655.3 KN"));

    const uint8_t summary[kSummarySize] = {12, 0x30, 0x34, 0x30, 0x3D, 0xFF, 0xFF, 0x00, 0x09};
    const SummaryTexts texts = ContinuousSummaryTexts(summary);
    EXPECT_EQ(texts.count, QStringLiteral("12"));
    EXPECT_EQ(texts.values[0], QStringLiteral("123.4 KN")); // 12340
    EXPECT_EQ(texts.values[1], QStringLiteral("123.4 KN")); // 12349
    EXPECT_EQ(texts.values[2], QStringLiteral("655.3 KN"));
    EXPECT_EQ(texts.values[3], QStringLiteral("0.0 KN"));
}

TEST(MeasurementRecord, SettingCodesNameThePressClassAndLoadCell)
{
    const QString none;
    const QString expected[][2] = {{QString::fromUtf8("10-13톤"), QString::fromUtf8("15톤")},
                                   {QString::fromUtf8("15톤"), QString::fromUtf8("15톤")},
                                   {QString::fromUtf8("25-30톤"), QString::fromUtf8("30톤")},
                                   {none, none}};
    for (int code = 0; code < 4; ++code) {
        EXPECT_EQ(SetValueText(code), expected[code][0]) << code;
        EXPECT_EQ(LoadCellText(code), expected[code][1]) << code;
    }
    for (int code : {7, 255}) {
        EXPECT_TRUE(SetValueText(code).isEmpty());
        EXPECT_TRUE(LoadCellText(code).isEmpty());
    }
}

TEST(MeasurementRecord, RowTextsDecodeEveryField)
{
    const Bytes stored = Record(2024, 5, 1, 9, 30, 5, 1470, 2);
    const RecordTexts s = StoredRecordTexts(stored.data());
    EXPECT_EQ(stored[0], 0x07);
    EXPECT_EQ(stored[1], 0xE8);
    EXPECT_EQ(s.time, QStringLiteral("2024-05-01 09:30:05"));
    EXPECT_EQ(s.force, QString::fromUtf8("15.0 톤"));
    EXPECT_EQ(s.setValue, QString::fromUtf8("25-30톤"));
    EXPECT_EQ(s.loadCell, QString::fromUtf8("30톤"));

    const RecordTexts c = ContinuousRecordTexts(Record(2024, 12, 31, 23, 59, 59, 1234, 3).data());
    EXPECT_EQ(c.time, QStringLiteral("2024-12-31 23:59:59"));
    EXPECT_EQ(c.force, QStringLiteral("123.4 KN"));
    EXPECT_TRUE(c.setValue.isEmpty());
    EXPECT_TRUE(c.loadCell.isEmpty());
}

TEST(MeasurementRecord, ImpossibleTimeFieldsFailToDecode)
{
    EXPECT_TRUE(RecordTime(Record(1900, 1, 1, 0, 0, 0).data()).has_value());
    EXPECT_EQ(StoredRecordTexts(Record(2024, 2, 29, 8, 0, 0).data()).time, QStringLiteral("2024-02-29 08:00:00"));
    const Bytes impossible[] = {
        Record(2024, 0, 1, 0, 0, 0),  Record(2024, 13, 1, 0, 0, 0),  Record(2024, 5, 0, 0, 0, 0),
        Record(2024, 5, 32, 0, 0, 0), Record(2024, 5, 1, 24, 0, 0),  Record(2024, 5, 1, 0, 60, 0),
        Record(2024, 5, 1, 0, 0, 60), Record(1899, 12, 31, 0, 0, 0), Record(2024, 2, 30, 0, 0, 0),
        Record(2023, 2, 29, 0, 0, 0), Record(2024, 4, 31, 0, 0, 0),  Record(2100, 2, 29, 0, 0, 0)};
    for (const Bytes &record : impossible) {
        EXPECT_FALSE(RecordTime(record.data()).has_value()) << int(record[2]) << " " << int(record[3]);
        // A row built from such a record still has its other texts, only the time stays empty.
        const RecordTexts texts = StoredRecordTexts(record.data());
        EXPECT_TRUE(texts.time.isEmpty());
        EXPECT_FALSE(texts.force.isEmpty());
    }
}
