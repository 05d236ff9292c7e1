#include "ArchiveCliSupport.h"
#include "PdfWords.h"
#include "ToolOutput.h"
#include "archive/PostgresCluster.h"

#include <QDate>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

// A scenario of stored records of serial SN-P: (time, raw force, setting code).
QByteArray StoredScenario(const QList<std::tuple<QString, int, int>> &records)
{
    QByteArray json = "{\"identity\": {\"serial\": \"SN-P\"}, \"stored\": [";
    for (const auto &[time, raw, setting] : records)
        json += QStringLiteral("%1{\"time\": \"%2\", \"raw\": %3, \"setting\": %4}")
                    .arg(json.endsWith('[') ? "" : ",", time)
                    .arg(raw)
                    .arg(setting)
                    .toUtf8();
    return json + "]}";
}

class PressCommands : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    CliRun Cli(const QString &database, const QStringList &arguments)
    {
        return RunProgram(CliCopyIn(m_dir.path()), QStringList{"--database", database} + arguments);
    }
    CliRun Download(const QString &database, const QString &scenario)
    {
        return Cli(database, {"--simulate=" + scenario, "--virtual-time", "memory", "--from", "2024-05-01", "--to",
                              "2024-05-01"});
    }
    // The verdict column of `press assign`.
    QString AssignedVerdict(const QString &database, const QStringList &arguments)
    {
        const CliRun run = Cli(database, QStringList{"press", "assign"} + arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QStringList lines = Lines(run.out);
        return lines.size() == 2 ? lines[1].section('\t', 2) : QStringLiteral("?");
    }

    QTemporaryDir m_dir;
};

TEST_F(PressCommands, VerdictsAtBothEdgesOfAPressRangeAndOfTheStationClassLimits)
{
    const QString db = "sqlite:" + Path("a.sqlite");
    // 9.9, 10.0, 13.0 and 13.1 t as the grid shows them: four of class 10-13, four of class 15.
    QList<std::tuple<QString, int, int>> records;
    for (int setting : {0, 1})
        for (int raw : {970, 980, 1274, 1284})
            records.append(
                {QStringLiteral("2024-05-01 10:00:%1").arg(records.size(), 2, 10, QChar('0')), raw, setting});
    ASSERT_EQ(Download(db, WriteFile(Path("s.json"), StoredScenario(records))).exitCode, 0);
    // The station's limits would judge the first press otherwise: its own range wins.
    WriteFile(Path("tonvale.ini"), "[LIMITS]\nCLASS_10_13=11.0,12.0\nCLASS_15=10.0,13.0\n");
    ASSERT_EQ(Cli(db, {"press", "add", "P-OWN", "--name", "own", "--class", "10-13", "--limits", "10.0,13.0"}).exitCode,
              0);
    ASSERT_EQ(Cli(db, {"press", "add", "P-CLS", "--name", "class", "--class", "15"}).exitCode, 0);
    for (const auto &[press, first] : {std::pair{"P-OWN", 1}, std::pair{"P-CLS", 5}}) {
        const auto rows = [first = first](int a, int b) {
            return QStringLiteral("%1-%2").arg(first + a).arg(first + b);
        };
        EXPECT_EQ(AssignedVerdict(db, {press, "--download", "1", "--rows", rows(1, 2)}), QStringLiteral("합격"))
            << press;
        EXPECT_EQ(AssignedVerdict(db, {press, "--download", "1", "--rows", rows(0, 0)}), QStringLiteral("불합격"))
            << press;
        EXPECT_EQ(AssignedVerdict(db, {press, "--download", "1", "--rows", rows(3, 3)}), QStringLiteral("불합격"))
            << press;
    }
    const CliRun show = Cli(db, {"press", "show", "P-OWN"});
    EXPECT_EQ(Lines(show.out), QStringList({"check\tmeasured\trecords\tmean\tmin\tmax\tverdict",
                                            QStringLiteral("3\t2024-05-01 10:00:03\t1\t13.10\t13.1\t13.1\t불합격"),
                                            QStringLiteral("1\t2024-05-01 10:00:01\t2\t11.50\t10.0\t13.0\t합격"),
                                            QStringLiteral("2\t2024-05-01 10:00:00\t1\t9.90\t9.9\t9.9\t불합격")}));
}

TEST_F(PressCommands, TheSameRecordsTwiceMakeOneCheckAndMovingOrAnotherClassIsAskedFirst)
{
    const QString db = "sqlite:" + Path("a.sqlite");
    const QString scenario = WriteFile(Path("s.json"), StoredScenario({{"2024-05-01 08:00:00", 1078, 0},
                                                                       {"2024-05-01 08:10:00", 1176, 0},
                                                                       {"2024-05-01 08:20:00", 1274, 1}}));
    // Two downloads that both hold the same three measurements.
    ASSERT_EQ(Download(db, scenario).exitCode, 0);
    ASSERT_EQ(Download(db, scenario).exitCode, 0);
    ASSERT_EQ(Cli(db, {"press", "add", "P-07", "--name", "7호기", "--class", "10-13", "--limits", "10,13"}).exitCode,
              0);
    ASSERT_EQ(Cli(db, {"press", "add", "P-08", "--name", "8호기", "--class", "10-13", "--limits", "10,13"}).exitCode,
              0);

    // The third record is of class 15: asked, not assigned.
    const CliRun asked = Cli(db, {"press", "assign", "P-07", "--download", "1"});
    EXPECT_EQ(asked.exitCode, 1);
    EXPECT_TRUE(asked.err.contains(QStringLiteral("등급(10-13톤)이 아닌 기록이 1개 있습니다: 15톤")))
        << asked.err.toStdString();
    EXPECT_TRUE(Lines(Cli(db, {"press", "show", "P-07"}).out).size() == 1);
    EXPECT_EQ(AssignedVerdict(db, {"P-07", "--download", "1", "--yes"}), QStringLiteral("합격"));
    // The other download's copies of the same measurements: the same check, not a second one.
    const CliRun again = Cli(db, {"press", "assign", "P-07", "--download", "2", "--yes"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(Lines(again.out).value(1), QStringLiteral("1\t3\t합격"));
    EXPECT_EQ(Lines(Cli(db, {"press", "show", "P-07"}).out).size(), 2);

    // Moving a record to another press is asked; with --yes it moves and P-07's check is judged again.
    const CliRun move = Cli(db, {"press", "assign", "P-08", "--download", "2", "--rows", "1"});
    EXPECT_EQ(move.exitCode, 1);
    EXPECT_TRUE(move.err.contains(QStringLiteral("옮깁니다: 점검 1 (P-07)"))) << move.err.toStdString();
    EXPECT_EQ(AssignedVerdict(db, {"P-08", "--download", "2", "--rows", "1", "--yes"}), QStringLiteral("합격"));
    EXPECT_EQ(Lines(Cli(db, {"press", "show", "P-07"}).out).value(1),
              QStringLiteral("1\t2024-05-01 08:10:00\t2\t12.50\t12.0\t13.0\t합격"));

    // Mistakes are told and change nothing.
    EXPECT_EQ(Cli(db, {"press", "assign", "P-99", "--download", "1", "--yes"}).exitCode, 1);
    EXPECT_EQ(Cli(db, {"press", "assign", "P-07", "--download", "1", "--rows", "4"}).exitCode, 1);
    EXPECT_EQ(Cli(db, {"press", "assign", "P-07", "--download", "1", "--rows", "0-2"}).exitCode, 2);
    EXPECT_EQ(Cli(db, {"press", "add", "P-09", "--name", "x", "--class", "20"}).exitCode, 2);
    EXPECT_EQ(Cli(db, {"press", "add", "P-09", "--name", "x", "--class", "15", "--limits", "13,10"}).exitCode, 2);
    const CliRun taken = Cli(db, {"press", "add", "P-07", "--name", "x", "--class", "15"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(taken.err.contains(QStringLiteral("이미 등록된 설비 번호입니다"))) << taken.err.toStdString();
    EXPECT_EQ(Lines(Cli(db, {"press", "list"}).out).size(), 3);
}

class PressServer : public PressCommands {
  protected:
    void SetUp() override
    {
        if (!m_cluster.SkipReason().isEmpty())
            GTEST_SKIP() << m_cluster.SkipReason().toStdString();
        ASSERT_TRUE(m_cluster.Failure().isEmpty()) << m_cluster.Failure().toStdString();
    }
    PostgresCluster m_cluster;
};

TEST_F(PressServer, TwoStationsShareOneRegisterAndTheReaderOnlyReads)
{
    ASSERT_EQ(Cli(m_cluster.Url(), {"archive", "setup"}).exitCode, 0);
    ASSERT_EQ(m_cluster.Sql("CREATE ROLE kim LOGIN IN ROLE tonvale_station; CREATE ROLE lee LOGIN IN ROLE "
                            "tonvale_station; CREATE ROLE office LOGIN IN ROLE tonvale_reader"),
              QString());
    const QString kim = m_cluster.UrlOf("kim"), lee = m_cluster.UrlOf("lee"), office = m_cluster.UrlOf("office");
    const CliRun added = Cli(kim, {"press", "add", "P-07", "--name", "7호기", "--class", "15", "--interval", "14",
                                   "--location", "A라인", "--limits", "14.0,16.0"});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    const QString scenario =
        WriteFile(Path("s.json"), StoredScenario({{"2024-05-01 23:30:00", 1470, 1}, {"2024-05-01 23:40:00", 1480, 1}}));
    ASSERT_EQ(Download(lee, scenario).exitCode, 0);
    EXPECT_EQ(AssignedVerdict(lee, {"P-07", "--download", "1"}), QStringLiteral("합격"));
    // kim downloads the same records again: assigned from that download they are the same check.
    ASSERT_EQ(Download(kim, scenario).exitCode, 0);
    const CliRun again = Cli(kim, {"press", "assign", "P-07", "--download", "2"});
    EXPECT_EQ(Lines(again.out).value(1), QStringLiteral("1\t2\t합격")) << again.err.toStdString();

    // A check on May 1st (23:30 local time) with a 14-day interval is due on May 15th, for every station.
    const QString expected = QStringLiteral("P-07\t7호기\t15톤\tA라인\t14\t2024-05-01\t합격\t2024-05-15\t초과");
    for (const QString &station : {kim, lee, office}) {
        const CliRun list = Cli(station, {"press", "list"});
        EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
        EXPECT_EQ(Lines(list.out).value(1), expected);
        EXPECT_EQ(Lines(Cli(station, {"due"}).out).value(1), expected);
    }
    EXPECT_EQ(Cli(lee, {"press", "edit", "P-07", "--interval", "30"}).exitCode, 0);
    EXPECT_TRUE(Lines(Cli(kim, {"press", "list"}).out).value(1).contains("\t30\t2024-05-01\t합격\t2024-05-31\t"));

    const CliRun refused = Cli(office, {"press", "add", "P-08", "--name", "x", "--class", "15"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("권한이 없습니다"))) << refused.err.toStdString();
    EXPECT_EQ(Cli(office, {"press", "retire", "P-07"}).exitCode, 1);
    EXPECT_EQ(Lines(Cli(kim, {"press", "list"}).out).size(), 2);
}

TEST_F(PressCommands, DueListsOverdueAndSoonPressesMostOverdueFirst)
{
    const QString db = "sqlite:" + Path("a.sqlite");
    for (const char *id : {"P-1", "P-2", "P-3"})
        ASSERT_EQ(Cli(db, {"press", "add", id, "--name", id, "--class", "15"}).exitCode, 0);
    const QString scenario =
        WriteFile(Path("s.json"), StoredScenario({{"2024-05-01 08:00:00", 1470, 1}, {"2024-05-01 09:00:00", 1470, 1}}));
    ASSERT_EQ(Download(db, scenario).exitCode, 0);
    ASSERT_EQ(Cli(db, {"press", "assign", "P-2", "--download", "1", "--rows", "2"}).exitCode, 0);
    ASSERT_EQ(Cli(db, {"press", "assign", "P-3", "--download", "1", "--rows", "1"}).exitCode, 0);
    ASSERT_EQ(Cli(db, {"press", "edit", "P-2", "--interval", "3650"}).exitCode, 0);
    // P-3 (due 2024-05-31) before P-1 (never checked: due today); P-2 is due in 2034 and left out.
    const QStringList due = Lines(Cli(db, {"due", "--within", "30"}).out);
    ASSERT_EQ(due.size(), 3);
    EXPECT_TRUE(due[1].startsWith("P-3\t"));
    EXPECT_TRUE(due[2].startsWith("P-1\t"));
    EXPECT_TRUE(due[2].endsWith(QDate::currentDate().toString(Qt::ISODate) + QStringLiteral("\t임박")));
    EXPECT_EQ(Lines(Cli(db, {"due", "--within", "5000"}).out).size(), 4);
    ASSERT_EQ(Cli(db, {"press", "retire", "P-1"}).exitCode, 0);
    EXPECT_EQ(Lines(Cli(db, {"due"}).out).size(), 2);
}

TEST_F(PressCommands, HistoryPdfNamesThePressAndEveryCheckOnNumberedPages)
{
    const QString db = "sqlite:" + Path("a.sqlite");
    QList<std::tuple<QString, int, int>> records;
    for (int i = 0; i < 45; ++i) // 11.0 .. 13.2 t: the last ones fail, the spread is too wide for Cpk 1.33
        records.append(
            {QStringLiteral("2024-05-01 %1:%2:00").arg(8 + i / 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')),
             1078 + 5 * i, 0});
    ASSERT_EQ(Download(db, WriteFile(Path("s.json"), StoredScenario(records))).exitCode, 0);
    ASSERT_EQ(Cli(db, {"press", "add", "P-12", "--name", "12호기", "--class", "10-13", "--limits", "10,13"}).exitCode,
              0);
    for (int row = 1; row <= 45; ++row)
        ASSERT_EQ(Cli(db, {"press", "assign", "P-12", "--download", "1", "--rows", QString::number(row)}).exitCode, 0);
    const CliRun show = Cli(db, {"press", "show", "P-12", "--pdf", Path("history.pdf")});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();

    const QList<PdfPage> pages = ParsePdfWords(ToolOutput("pdftotext", {"-bbox", Path("history.pdf"), "-"}));
    ASSERT_GE(pages.size(), 2);
    const PdfPage &first = pages.first();
    EXPECT_TRUE(first.HasLine({QStringLiteral("설비"), QStringLiteral("번호"), "P-12"}));
    EXPECT_TRUE(first.HasLine({QStringLiteral("공정"), QStringLiteral("능력:"), "Cp"}));
    EXPECT_TRUE(first.Find(QStringLiteral("미만")));
    for (int page = 0; page < pages.size(); ++page)
        EXPECT_TRUE(pages[page].HasLine(
            {QStringLiteral("페이지"), QString::number(page + 1), "/", QString::number(pages.size())}))
            << page;
    // Every check once, on its own line, with its verdict.
    for (int check = 1; check <= 45; ++check) {
        const QString time = std::get<0>(records[check - 1]).section(' ', 1);
        const QString verdict =
            std::get<1>(records[check - 1]) > 1278 ? QStringLiteral("불합격") : QStringLiteral("합격");
        int found = 0;
        for (const PdfPage &page : pages)
            found += page.HasLine({QString::number(check), "2024-05-01", time, "1", verdict});
        EXPECT_EQ(found, 1) << check;
    }
}

} // namespace
