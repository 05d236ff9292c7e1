#include "CliRunner.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

TEST(CliInfo, PrintsTheEightIdentityFieldsInReadOrder)
{
    const CliRun run = RunCli({"--simulate", "--virtual-time", "info"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 8);
    const QStringList labels = {"측정기 명",  "15톤 로드셀 S/N",      "30톤 로드셀 S/N",      "30톤 로드셀 커버 S/N",
                                "측정기 S/N", "15톤 로드셀 커버 S/N", "25톤 로드셀 커버 S/N", "버전 정보"};
    for (int i = 0; i < 8; ++i) {
        const QStringList parts = lines[i].split('\t');
        ASSERT_EQ(parts.size(), 2) << lines[i].toStdString();
        EXPECT_EQ(parts[0], labels[i]);
        EXPECT_FALSE(parts[1].isEmpty()) << labels[i].toStdString();
        EXPECT_NE(parts[1], "-") << labels[i].toStdString();
    }
}

TEST(CliInfo, AnErasedSerialShowsADash)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("erased.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"identity": {"name": "PRESS-7"}, "identity_hex": {"lc15_sn": "FF FF FF FF FF FF FF FF FF"}})");
    file.close();
    const CliRun run = RunCli({"--simulate=" + path, "--virtual-time", "info"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], "측정기 명\tPRESS-7");
    EXPECT_EQ(lines[1], "15톤 로드셀 S/N\t-");
}

TEST(CliInfo, LogsEveryPacketOnStderr)
{
    const CliRun run = RunCli({"--simulate", "--virtual-time", "--log", "info"});
    ASSERT_EQ(run.exitCode, 0);
    const QStringList lines = Lines(run.err);
    EXPECT_EQ(lines.filter(QRegularExpression("^SEND-\\[")).size(), 8);
    EXPECT_EQ(lines.filter(QRegularExpression("^RECV-\\[")).size(), 8);
    EXPECT_TRUE(lines.first().endsWith("02 02 31 00 31 03  (6 BYTE)")) << lines.first().toStdString();
}

TEST(CliInfo, AFailingInstrumentEndsWithTheResultText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("silent.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"faults": [{"kind": "silent", "command": "30"}]})");
    file.close();
    const CliRun run = RunCli({"--simulate=" + path, "--virtual-time", "info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("UART 읽기 실패 (-1092)")) << run.err.toStdString();
    EXPECT_EQ(Lines(run.out).last(), "버전 정보\t");
}

TEST(CliInfo, ALateNameLeavesTheNameEmptyAndNeverLandsInAnotherField)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("late-name.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"identity": {"name": "PFM-3000", "lc15_sn": "L15-24031"},
                   "faults": [{"kind": "late", "command": "31", "occurrence": 1, "delay_ms": 2600}]})");
    file.close();
    const CliRun run = RunCli({"--simulate=" + path, "--virtual-time", "info"});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], "측정기 명\t");
    EXPECT_EQ(lines[1], "15톤 로드셀 S/N\tL15-24031");
    EXPECT_FALSE(run.out.contains("PFM-3000"));
}

TEST(CliInfo, ASilentInstrumentIsToldAfterTwoTimeOuts)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("silent.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"faults": [{"kind": "silent", "command": "31"}, {"kind": "silent", "command": "37"}]})");
    file.close();
    const CliRun run = RunCli({"--simulate=" + path, "--virtual-time", "--log", "info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.err).filter(QRegularExpression("^SEND-\\[")).size(), 2);
    EXPECT_EQ(Lines(run.err).last(), "UART 읽기 실패 (-1092)");
    // Every label is still printed; the fields never read are empty.
    const QStringList lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[7], "버전 정보\t");
}

TEST(CliInfo, UsageErrorsExitWith2)
{
    EXPECT_EQ(RunCli({"--simulate", "frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--bogus", "info"}).exitCode, 2);
    EXPECT_EQ(RunCli({}).exitCode, 2);
    EXPECT_EQ(RunCli({"--virtual-time", "info"}).exitCode, 2);
    const CliRun badScenario = RunCli({"--simulate=/nonexistent/scenario.json", "info"});
    EXPECT_EQ(badScenario.exitCode, 2);
    EXPECT_FALSE(badScenario.err.isEmpty());
}

TEST(CliInfo, WithoutABridgeTheRealLinkFailsQuicklyWith1100)
{
    const CliRun run = RunCli({"info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("장비 열기 실패 (-1100)")) << run.err.toStdString();
}

} // namespace
