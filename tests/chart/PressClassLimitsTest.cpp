// The verdict rule at the edges of each class's range, the limits' validation, and their round trip
// through the configuration file.

#include "IniFile.h"
#include "LimitsSettings.h"
#include "MeasurementRecord.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

PressClassLimits Limits(std::optional<ForceRange> c0, std::optional<ForceRange> c1, std::optional<ForceRange> c2)
{
    PressClassLimits limits;
    limits.SetRange(0, c0);
    limits.SetRange(1, c1);
    limits.SetRange(2, c2);
    return limits;
}

TEST(Verdict, JudgesTheForceAsTheGridShowsItForEveryRawValue)
{
    // The verdict must agree with what the operator reads: the tenths it judges are the tenths shown.
    for (int raw = 0; raw <= 65535; ++raw) {
        const QString shown = StoredForceText(raw).chopped(2).trimmed(); // "%4.1f 톤" without " 톤"
        ASSERT_EQ(QString::number(StoredForceTenths(raw) / 10.0, 'f', 1), shown) << raw;
    }
}

TEST(Verdict, RangeEdgesAreInsideForEachClass)
{
    const PressClassLimits limits = Limits(ForceRange{100, 130}, ForceRange{140, 160}, ForceRange{250, 300});
    struct Case {
        int setting;
        int raw;
        Verdict expected;
    };
    const Case cases[] = {
        // 10-13톤: 10.0 .. 13.0
        {0, 975, Verdict::Fail},  // 9.95 t shows 9.9
        {0, 976, Verdict::Pass},  // 9.96 t shows 10.0: the low edge
        {0, 980, Verdict::Pass},  // exactly 10.0
        {0, 1274, Verdict::Pass}, // exactly 13.0: the high edge
        {0, 1278, Verdict::Pass}, // 13.04 t shows 13.0
        {0, 1279, Verdict::Fail}, // 13.05 t shows 13.1
        // 15톤: 14.0 .. 16.0
        {1, 1367, Verdict::Fail}, // 13.9
        {1, 1372, Verdict::Pass}, // 14.0
        {1, 1568, Verdict::Pass}, // 16.0
        {1, 1573, Verdict::Fail}, // 16.1
        // 25-30톤: 25.0 .. 30.0
        {2, 2445, Verdict::Fail}, // 24.9
        {2, 2450, Verdict::Pass}, // 25.0
        {2, 2940, Verdict::Pass}, // 30.0
        {2, 2945, Verdict::Fail}, // 30.1
    };
    for (const Case &c : cases)
        EXPECT_EQ(limits.Judge(c.setting, c.raw), c.expected) << c.setting << " " << c.raw;
}

TEST(Verdict, EachClassIsJudgedByItsOwnRangeOnly)
{
    // 15.0 t passes the 15톤 range and fails the 10-13톤 one.
    const PressClassLimits limits = Limits(ForceRange{100, 130}, ForceRange{140, 160}, std::nullopt);
    EXPECT_EQ(limits.Judge(0, 1470), Verdict::Fail);
    EXPECT_EQ(limits.Judge(1, 1470), Verdict::Pass);
    EXPECT_EQ(limits.Judge(2, 1470), Verdict::None); // no range for 25-30톤
    EXPECT_EQ(limits.Judge(3, 1470), Verdict::None); // a code that names no class
    EXPECT_EQ(limits.Judge(255, 1470), Verdict::None);
    EXPECT_EQ(PressClassLimits().Judge(1, 1470), Verdict::None);
    EXPECT_TRUE(PressClassLimits().IsEmpty());

    const uint8_t record[kRecordSize] = {0x07, 0xE8, 5, 1, 9, 30, 5, 0x05, 0xBE, 1}; // 1470 raw, setting 1
    EXPECT_EQ(limits.Judge(record), Verdict::Pass);
}

TEST(LimitsValidation, AcceptsTonsWithOneDecimalBetweenZeroAndSevenHundred)
{
    struct Case {
        const char *text;
        std::optional<ForceRange> expected;
        bool error;
    };
    const Case cases[] = {
        {"10,13", ForceRange{100, 130}, false},
        {" 10.5 , 13.0 ", ForceRange{105, 130}, false},
        {"0,700", ForceRange{0, 7000}, false},
        {"", std::nullopt, false}, // no range
        {"   ", std::nullopt, false},
        {"0,700.1", std::nullopt, true},
        {"699.9,700.0", ForceRange{6999, 7000}, false},
        {"700,700.1", std::nullopt, true},
        {"13,10", std::nullopt, true}, // LOW above HIGH
        {"10,10", std::nullopt, true}, // an empty range
        {"-1,5", std::nullopt, true},
        {"10.25,13", std::nullopt, true}, // finer than the shown tenths
        {"abc,13", std::nullopt, true},
        {"10;13", std::nullopt, true},
        {"10,13,15", std::nullopt, true},
        {"1e1,13", std::nullopt, true},
        {"10,", std::nullopt, true},
    };
    for (const Case &c : cases) {
        QString error;
        EXPECT_EQ(PressClassLimits::ParseRange(QString::fromUtf8(c.text), &error), c.expected) << c.text;
        EXPECT_EQ(!error.isEmpty(), c.error) << c.text << " " << error.toStdString();
    }
}

TEST(LimitsFile, RoundTripKeepsTheRestOfTheFileAndEmptiesClearedClasses)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tonvale.ini"));
    ASSERT_TRUE(IniFile::WriteFile(path, QStringLiteral("[REPORT]\nCOMPANY=한국정밀프레스\n").toUtf8()));

    const PressClassLimits limits = Limits(ForceRange{100, 130}, std::nullopt, ForceRange{250, 305});
    ASSERT_TRUE(SavePressClassLimits(limits, path));
    const QString text = IniFile::ReadFile(path)->text;
    EXPECT_EQ(IniFile::FindValue(text, "REPORT", "COMPANY"), QStringLiteral("한국정밀프레스"));
    EXPECT_EQ(IniFile::FindValue(text, "LIMITS", "CLASS_10_13"), QStringLiteral("10.0,13.0"));
    EXPECT_EQ(IniFile::FindValue(text, "LIMITS", "CLASS_15"), QString());
    EXPECT_EQ(IniFile::FindValue(text, "LIMITS", "CLASS_25_30"), QStringLiteral("25.0,30.5"));
    EXPECT_EQ(LoadPressClassLimits(path), limits);

    const PressClassLimits cleared = Limits(std::nullopt, ForceRange{140, 160}, std::nullopt);
    ASSERT_TRUE(SavePressClassLimits(cleared, path));
    EXPECT_EQ(LoadPressClassLimits(path), cleared);

    // No file at all: no ranges, and nothing is judged.
    EXPECT_TRUE(LoadPressClassLimits(dir.filePath(QStringLiteral("missing.ini"))).IsEmpty());
}

TEST(LimitsFile, ValuesEditedByHandThatAreNotRangesAreReportedAndIgnored)
{
    QStringList problems;
    const PressClassLimits limits = PressClassLimitsFromIniText(
        QStringLiteral("[limits]\nclass_10_13=13,10\nCLASS_15=14,16\nCLASS_25_30=25,800\n"), &problems);
    EXPECT_FALSE(limits.Range(0));
    EXPECT_EQ(limits.Range(1), (ForceRange{140, 160}));
    EXPECT_FALSE(limits.Range(2));
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems[0].contains(QStringLiteral("CLASS_10_13")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("CLASS_25_30")));
}

TEST(LimitsFile, UnwritableFileIsReportedAndLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no-such-dir/tonvale.ini"));
    EXPECT_FALSE(SavePressClassLimits(Limits(ForceRange{100, 130}, std::nullopt, std::nullopt), path));
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
