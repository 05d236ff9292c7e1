// tonvale-cli's clock command and the report options of memory and output, run as the operator runs
// them: a copy of the tool in a folder of its own with the program's INI file beside it.

#include "XlsBook.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

class CliToolsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        tool = dir.filePath("tonvale-cli");
        ASSERT_TRUE(QFile::copy(QStringLiteral(TONVALE_CLI_PATH), tool));
    }

    CliRun Cli(const QStringList &arguments)
    {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(tool, QStringList{"--simulate", "--virtual-time"} + arguments);
        CliRun run;
        if (!process.waitForFinished(120000))
            return run;
        run.status = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    // The tab-separated rows the memory command prints, without its heading line.
    static QList<QStringList> Rows(const QString &out)
    {
        QList<QStringList> rows;
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        for (int i = 1; i < lines.size(); ++i)
            rows << lines[i].split('\t');
        return rows;
    }

    QStringList MemoryRange() const
    {
        const QDate today = QDate::currentDate();
        return {"memory", "--from", today.addDays(-60).toString(Qt::ISODate), "--to", today.toString(Qt::ISODate)};
    }

    QTemporaryDir dir;
    QString tool;
};

TEST_F(CliToolsTest, ClockReadsAndSetsOnlyWhenConfirmed)
{
    const CliRun read = Cli({"clock"});
    ASSERT_EQ(read.status, 0) << read.err.toStdString();
    const QStringList lines = read.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("장비 시간\t"));
    const QDateTime shown = QDateTime::fromString(lines[0].section('\t', 1), "yyyy-MM-dd HH:mm:ss");
    EXPECT_LT(qAbs(shown.secsTo(QDateTime::currentDateTime())), 120) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "서비스 전화\t031-8765-4321"); // the simulated instrument's own number

    const CliRun refused = Cli({"--log", "clock", "--set"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains("--yes"));
    EXPECT_FALSE(refused.err.contains("SEND")) << "nothing may reach the instrument";

    const CliRun set = Cli({"--log", "clock", "--set", "--yes"});
    ASSERT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(set.out.trimmed(), "성공");
    // The set request: STX, length 14, 0x34, the PC's time, then the program's telephone from its right end.
    const QString sent = set.err.section("SEND-", 1, 1);
    EXPECT_TRUE(sent.contains("02 0E 34 07 ")) << sent.toStdString();
    EXPECT_TRUE(sent.contains(" 20 51 33 80 31 00 ")) << sent.toStdString();
}

TEST_F(CliToolsTest, MemoryWorkbookTakesRowsAndHeaderTextsWithoutTouchingTheIni)
{
    const QByteArray ini = "[REPORT]\nCOMPANY=INI 회사\nREPORT_NAME=INI 보고서\nUSER_NAME=INI 작성자\n";
    QFile iniFile(dir.filePath("tonvale.ini"));
    ASSERT_TRUE(iniFile.open(QIODevice::WriteOnly));
    iniFile.write(ini);
    iniFile.close();

    const CliRun run =
        Cli(MemoryRange() + QStringList{"--xls", "out.xls", "--rows", "2,4-5", "--company", "한빛 프레스"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QList<QStringList> rows = Rows(run.out);
    ASSERT_GE(rows.size(), 5);

    const XlsBook book = ReadXls(dir.filePath("out.xls"));
    ASSERT_TRUE(book.Ok()) << book.error.toStdString();
    EXPECT_EQ(book.Text(5, 1), "한빛 프레스");
    EXPECT_EQ(book.Text(3, 2), "INI 보고서");
    EXPECT_EQ(book.Text(5, 2), "INI 작성자");
    const QDateTime created = QDateTime::fromString(book.Text(3, 1), "yyyy-MM-dd HH:mm:ss");
    EXPECT_LT(qAbs(created.secsTo(QDateTime::currentDateTime())), 120) << book.Text(3, 1).toStdString();
    EXPECT_FALSE(book.Text(3, 3).isEmpty()); // the instrument's name, read for the header
    EXPECT_EQ(book.Rows(), 12);
    const int picked[] = {2, 4, 5};
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(book.RowTexts(9 + k), QStringList{QString::number(k)} + rows[picked[k - 1] - 1].mid(1));

    ASSERT_TRUE(iniFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(iniFile.readAll(), ini);
}

TEST_F(CliToolsTest, OutputWorkbookTakesEveryRecord)
{
    const CliRun run = Cli({"output", "--xls", "run.xls", "--report-name", "연속 측정"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 4); // labels, statistics, labels, records
    const XlsBook book = ReadXls(dir.filePath("run.xls"));
    ASSERT_TRUE(book.Ok()) << book.error.toStdString();
    EXPECT_EQ(book.Text(3, 2), "연속 측정");
    EXPECT_EQ(book.RowTexts(10), lines[1].split('\t'));
    EXPECT_EQ(book.Rows(), 11 + lines.size() - 3);
    EXPECT_EQ(book.RowTexts(12), lines[3].split('\t'));
    EXPECT_FALSE(QFile::exists(dir.filePath("tonvale.ini")));
}

TEST_F(CliToolsTest, ReportOptionMistakesWriteNothing)
{
    for (const QStringList &arguments : {MemoryRange() + QStringList{"--company", "X"},
                                         MemoryRange() + QStringList{"--xls", "a.xls", "--rows", "1,,x"},
                                         MemoryRange() + QStringList{"--xls", "a.xls", "--rows", "5-3"},
                                         MemoryRange() + QStringList{"--xls", "a.xls", "--rows", "99"},
                                         QStringList{"output", "--xls", "a.xls", "--rows", "1"}}) {
        const CliRun run = Cli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("a.xls"))) << arguments.join(' ').toStdString();
    }
    const CliRun failed = Cli(MemoryRange() + QStringList{"--xls", "no/such/folder/a.xls"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.err.contains("엑셀 저장 실패 : "));
}

} // namespace
