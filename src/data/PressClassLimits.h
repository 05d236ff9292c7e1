#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// The press class a stored record was measured for is named by its setting code: 0 "10-13톤", 1 "15톤",
// 2 "25-30톤". Each class may have a force range in tons; a record of a class with a range passes when its
// force, as the grid shows it (to a tenth of a ton), lies within the range, both edges included.
// Codes outside 0..2 name no class and are never judged.

constexpr int kPressClassCount = 3;

// Forces and limits are counted in tenths of a ton, the precision the instrument's records are shown with,
// so that a record shown as "13.0 톤" passes a range ending at 13.0 whatever the hundredths were.
struct ForceRange {
    int lowTenths = 0;
    int highTenths = 0;

    bool Contains(int tenths) const { return tenths >= lowTenths && tenths <= highTenths; }
    double Low() const { return lowTenths / 10.0; }
    double High() const { return highTenths / 10.0; }
    // "LOW,HIGH" as the configuration file keeps it, e.g. "10.0,13.0".
    QString IniText() const;
    // "10.0 ~ 13.0 톤", as tooltips and reports show it.
    QString DisplayText() const;
    bool operator==(const ForceRange &) const = default;
};

enum class Verdict { None, Pass, Fail };

// The stored force as shown ("%4.1f 톤" of raw / 98), in tenths of a ton.
int StoredForceTenths(int rawForce);
// The class of a setting code, or nullopt for a code that names none.
std::optional<int> PressClassOfSetting(int settingCode);

// "합격" / "불합격"; empty for Verdict::None.
QString VerdictText(Verdict verdict);

class PressClassLimits {
  public:
    static constexpr double kMaxTons = 700.0;
    static const QString kIniSection; // "LIMITS"

    // "CLASS_10_13", "CLASS_15", "CLASS_25_30" for classes 0, 1, 2.
    static QString IniKey(int pressClass);
    // "10-13톤", "15톤", "25-30톤".
    static QString ClassName(int pressClass);

    // Reads "LOW,HIGH": two numbers in tons with at most one decimal, 0 <= LOW < HIGH <= 700. nullopt with
    // *error (Korean) for anything else; an empty text gives nullopt and no error (no range).
    static std::optional<ForceRange> ParseRange(const QString &text, QString *error = nullptr);
    // The same from the two edit fields of the limits dialog.
    static std::optional<ForceRange> ParseRange(const QString &low, const QString &high, QString *error);

    const std::optional<ForceRange> &Range(int pressClass) const { return m_ranges[pressClass]; }
    void SetRange(int pressClass, std::optional<ForceRange> range) { m_ranges[pressClass] = range; }
    bool IsEmpty() const;

    Verdict Judge(int settingCode, int rawForce) const;
    Verdict Judge(const uint8_t *record) const;
    // The range a record of this setting code is judged against, if any.
    std::optional<ForceRange> RangeForSetting(int settingCode) const;

    // The three keys with their values (empty for a class without a range), as the configuration file keeps
    // them (LimitsSettings.h in src/chart reads and writes the file).
    QList<QPair<QString, QString>> IniValues() const;

    bool operator==(const PressClassLimits &) const = default;

  private:
    std::array<std::optional<ForceRange>, kPressClassCount> m_ranges;
};
