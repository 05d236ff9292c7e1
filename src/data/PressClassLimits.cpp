#include "PressClassLimits.h"

#include "MeasurementRecord.h"

#include <QRegularExpression>

const QString PressClassLimits::kIniSection = QStringLiteral("LIMITS");

namespace {

constexpr int kMaxTenths = 7000;

QString TenthsText(int tenths)
{
    return QString::number(tenths / 10.0, 'f', 1);
}

// A number of tons with at most one decimal, in tenths; nullopt with *error otherwise.
std::optional<int> ParseTons(const QString &text, const QString &what, QString *error)
{
    static const QRegularExpression number(QStringLiteral("^(\\d{1,4})(?:\\.(\\d))?$"));
    const QRegularExpressionMatch m = number.match(text.trimmed());
    if (!m.hasMatch()) {
        if (error)
            *error = QStringLiteral("%1 값이 올바른 숫자가 아닙니다 (톤, 소수점 아래 한 자리까지): %2")
                         .arg(what, text.trimmed());
        return std::nullopt;
    }
    return m.captured(1).toInt() * 10 + (m.captured(2).isEmpty() ? 0 : m.captured(2).toInt());
}

} // namespace

QString ForceRange::IniText() const
{
    return TenthsText(lowTenths) + QLatin1Char(',') + TenthsText(highTenths);
}

QString ForceRange::DisplayText() const
{
    return QStringLiteral("%1 ~ %2 톤").arg(TenthsText(lowTenths), TenthsText(highTenths));
}

int StoredForceTenths(int rawForce)
{
    // raw / 98 tons to the nearest tenth; raw * 10 / 98 never lies exactly halfway between two tenths.
    return (rawForce * 10 + 49) / 98;
}

std::optional<int> PressClassOfSetting(int settingCode)
{
    if (settingCode < 0 || settingCode >= kPressClassCount)
        return std::nullopt;
    return settingCode;
}

QString VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass: return QStringLiteral("합격");
    case Verdict::Fail: return QStringLiteral("불합격");
    case Verdict::None: break;
    }
    return QString();
}

QString PressClassLimits::IniKey(int pressClass)
{
    static const char *const keys[kPressClassCount] = {"CLASS_10_13", "CLASS_15", "CLASS_25_30"};
    return QLatin1String(keys[pressClass]);
}

QString PressClassLimits::ClassName(int pressClass)
{
    return SetValueText(pressClass);
}

std::optional<ForceRange> PressClassLimits::ParseRange(const QString &low, const QString &high, QString *error)
{
    const std::optional<int> lowTenths = ParseTons(low, QStringLiteral("하한"), error);
    if (!lowTenths)
        return std::nullopt;
    const std::optional<int> highTenths = ParseTons(high, QStringLiteral("상한"), error);
    if (!highTenths)
        return std::nullopt;
    if (*highTenths > kMaxTenths) {
        if (error)
            *error = QStringLiteral("기준 값은 0 ~ 700 톤 사이여야 합니다.");
        return std::nullopt;
    }
    if (*lowTenths >= *highTenths) {
        if (error)
            *error = QStringLiteral("하한은 상한보다 작아야 합니다.");
        return std::nullopt;
    }
    return ForceRange{*lowTenths, *highTenths};
}

std::optional<ForceRange> PressClassLimits::ParseRange(const QString &text, QString *error)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2) {
        if (error)
            *error = QStringLiteral("기준은 \"하한,상한\" 형식이어야 합니다: %1").arg(text.trimmed());
        return std::nullopt;
    }
    return ParseRange(parts[0], parts[1], error);
}

bool PressClassLimits::IsEmpty() const
{
    for (const auto &range : m_ranges)
        if (range)
            return false;
    return true;
}

std::optional<ForceRange> PressClassLimits::RangeForSetting(int settingCode) const
{
    const std::optional<int> pressClass = PressClassOfSetting(settingCode);
    return pressClass ? m_ranges[*pressClass] : std::nullopt;
}

Verdict PressClassLimits::Judge(int settingCode, int rawForce) const
{
    const std::optional<ForceRange> range = RangeForSetting(settingCode);
    if (!range)
        return Verdict::None;
    return range->Contains(StoredForceTenths(rawForce)) ? Verdict::Pass : Verdict::Fail;
}

Verdict PressClassLimits::Judge(const uint8_t *record) const
{
    return Judge(RecordSettingCode(record), RecordRawForce(record));
}

QList<QPair<QString, QString>> PressClassLimits::IniValues() const
{
    QList<QPair<QString, QString>> values;
    for (int c = 0; c < kPressClassCount; ++c)
        values.append({IniKey(c), m_ranges[c] ? m_ranges[c]->IniText() : QString()});
    return values;
}
