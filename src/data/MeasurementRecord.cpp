#include "MeasurementRecord.h"

#include "LocalTime.h"

namespace {
int BigEndian16(const uint8_t *bytes)
{
    return bytes[0] << 8 | bytes[1];
}

RecordTexts RecordTextsWith(const uint8_t *record, const QString &force)
{
    const std::optional<qint64> time = RecordTime(record);
    const int code = RecordSettingCode(record);
    return {time ? FormatLocalTime(*time) : QString(), force, SetValueText(code), LoadCellText(code)};
}
} // namespace

int RecordRawForce(const uint8_t *record)
{
    return BigEndian16(record + 7);
}

int RecordSettingCode(const uint8_t *record)
{
    return record[9];
}

// QString::asprintf formats numbers in the C locale whatever the process locale, so the decimal
// separator is always a point.
QString StoredForceText(int rawForce)
{
    return QString::asprintf("%4.1f 톤", rawForce / 98.0);
}

QString ContinuousForceText(int rawForce)
{
    return QString::asprintf("%.1f KN", rawForce / 10.0);
}

QString SummaryValueText(int rawValue)
{
    return QString::asprintf("%02.1f KN", (rawValue / 10 * 10) / 100.0);
}

QString SetValueText(int settingCode)
{
    switch (settingCode) {
    case 0: return QStringLiteral("10-13톤");
    case 1: return QStringLiteral("15톤");
    case 2: return QStringLiteral("25-30톤");
    default: return QString();
    }
}

QString LoadCellText(int settingCode)
{
    switch (settingCode) {
    case 0:
    case 1: return QStringLiteral("15톤");
    case 2: return QStringLiteral("30톤");
    default: return QString();
    }
}

RecordTexts StoredRecordTexts(const uint8_t *record)
{
    return RecordTextsWith(record, StoredForceText(RecordRawForce(record)));
}

RecordTexts ContinuousRecordTexts(const uint8_t *record)
{
    return RecordTextsWith(record, ContinuousForceText(RecordRawForce(record)));
}

SummaryTexts ContinuousSummaryTexts(const uint8_t *summary)
{
    SummaryTexts texts;
    texts.count = QString::number(summary[0]);
    for (int i = 0; i < kSummaryValueCount; ++i)
        texts.values[i] = SummaryValueText(BigEndian16(summary + 1 + 2 * i));
    return texts;
}
