#include "CliRunner.h"

#include <QFile>
#include <QPair>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

QStringList Lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

class RecordCommands : public ::testing::Test {
  protected:
    QString Scenario(const QByteArray &json)
    {
        const QString path = m_dir.filePath(QStringLiteral("scenario%1.json").arg(m_count++));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(json);
        return path;
    }

  private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

const QString kHeader = QStringLiteral("No\t측정 시간\t측정 압력 값\t측정 압력 설정 값\t로드셀 종류");

TEST_F(RecordCommands, MemoryPrintsTheSheetAndEndsAFailedDownloadWithItsText)
{
    const QString stops = Scenario(R"({"stored": [
        {"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1},
        {"time": "2024-05-01 10:00:01", "raw": 0, "setting": 3},
        {"time": "2024-05-01 10:00:02", "raw": 65535, "setting": 2}],
        "faults": [{"kind": "stored_stream_stops_after", "records": 2}]})");
    CliRun run = RunCli({"--simulate=" + stops, "--virtual-time", "memory", "--from", "2024-05-01", "--to=2024-05-01"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out), (QStringList{kHeader, "1\t2024-05-01 10:00:00\t15.0 톤\t15톤\t15톤",
                                           "2\t2024-05-01 10:00:01\t 0.0 톤\t\t"}));
    EXPECT_EQ(Lines(run.err), QStringList{"패킷 수신 실패 (타임아웃) (-1086)"});

    const QString older = Scenario(R"({"stored": [{"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1}]})");
    run = RunCli({"--simulate=" + older, "--virtual-time", "memory", "--from", "2024-05-02", "--to", "2024-05-03"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Lines(run.out), QStringList{kHeader});
    EXPECT_EQ(Lines(run.err), QStringList{"메모리 데이터 없음!"});

    run = RunCli({"--simulate=" + stops, "--virtual-time", "memory", "--from", "2024-05-02"});
    EXPECT_EQ(run.exitCode, 2);
}

TEST_F(RecordCommands, DamagedRecordsAreToldOnStderrAfterTheTableAndFailTheCommand)
{
    const QString damaged = Scenario(R"({"stored": [
        {"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1},
        {"time": "2024-05-01 10:00:01", "raw": 0, "setting": 3},
        {"time": "2024-05-01 10:00:02", "raw": 65535, "setting": 2}],
        "faults": [{"kind": "stored_bad_checksum", "index": 1}]})");
    CliRun run =
        RunCli({"--simulate=" + damaged, "--virtual-time", "memory", "--from", "2024-05-01", "--to", "2024-05-01"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out), (QStringList{kHeader, "1\t2024-05-01 10:00:00\t15.0 톤\t15톤\t15톤",
                                           "2\t2024-05-01 10:00:02\t668.7 톤\t25-30톤\t30톤"}));
    EXPECT_EQ(Lines(run.err), QStringList{"수신 중 손상된 데이터 1건은 제외되었습니다."});

    // Every record damaged: the instrument did send records, so "no data" is not said.
    const QString allDamaged = Scenario(R"({"stored": [{"time": "2024-05-01 10:00:00", "raw": 1470}],
        "faults": [{"kind": "stored_bad_checksum", "index": 0}]})");
    run =
        RunCli({"--simulate=" + allDamaged, "--virtual-time", "memory", "--from", "2024-05-01", "--to", "2024-05-01"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out), QStringList{kHeader});
    EXPECT_EQ(Lines(run.err), QStringList{"수신 중 손상된 데이터 1건은 제외되었습니다."});
}

TEST_F(RecordCommands, OutputPrintsLabelsSummaryAndRecords)
{
    const QString run3 = Scenario(R"({"continuous": {"average": 12340, "minimum": 12349, "maximum": 15000,
        "deviation": 35, "records": [{"time": "2024-05-01 09:20:00", "raw": 1462, "setting": 1},
                                     {"time": "2024-05-01 09:20:01", "raw": 1471, "setting": 2}]}})");
    const CliRun run = RunCli({"--simulate=" + run3, "--virtual-time", "output"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Lines(run.out), (QStringList{"측정횟수\t압력 평균 값\t최소 값\t최대 값\t압력 편차",
                                           "2\t123.4 KN\t123.4 KN\t150.0 KN\t0.3 KN", kHeader,
                                           "1\t2024-05-01 09:20:00\t146.2 KN\t15톤\t15톤",
                                           "2\t2024-05-01 09:20:01\t147.1 KN\t25-30톤\t30톤"}));
}

// A --rows list is checked against the rows the download has, without being expanded: a range up to the
// largest number costs nothing, even in a process that may not take more than a little memory.
TEST_F(RecordCommands, RowListsAreCheckedWithoutExpandingTheirRanges)
{
    const QString three = Scenario(R"({"stored": [
        {"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1},
        {"time": "2024-05-01 10:00:01", "raw": 1000, "setting": 1},
        {"time": "2024-05-01 10:00:02", "raw": 500, "setting": 1}]})");
    const auto limitMemory = [] {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        // Sanitizers reserve far more address space than this for themselves.
        const rlimit limit{1024L * 1024 * 1024, 1024L * 1024 * 1024};
        ::setrlimit(RLIMIT_AS, &limit);
#endif
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString xls = dir.filePath("report.xls");
    const QStringList memory{"--simulate=" + three, "--virtual-time", "memory", "--from", "2024-05-01", "--to",
                             "2024-05-01",          "--xls",          xls,      "--rows"};

    const QList<QPair<QString, QString>> beyond{
        {"1-2147483647", "4"}, {"2147483647,2", "2147483647"}, {"1,5-2147483647,4-4", "4"}};
    for (const auto &[rows, missing] : beyond) {
        const CliRun run = RunCli(memory + QStringList{rows}, limitMemory);
        EXPECT_EQ(run.exitCode, 2) << rows.toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("--rows: there is no row " + missing + " (the download has 3 rows)"))
            << rows.toStdString() << ": " << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(xls));
    }

    // Overlapping ranges and repeats inside the download are fine.
    const CliRun run = RunCli(memory + QStringList{"3,1-2,2-3"}, limitMemory);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(QFile::exists(xls));
}

} // namespace
