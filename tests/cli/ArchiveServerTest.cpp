#include "ArchiveCliSupport.h"
#include "MeasurementArchive.h"
#include "archive/DelayProxy.h"
#include "archive/PostgresCluster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

QStringList Lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

class ArchiveServer : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!m_cluster.SkipReason().isEmpty())
            GTEST_SKIP() << m_cluster.SkipReason().toStdString();
        ASSERT_TRUE(m_cluster.Failure().isEmpty()) << m_cluster.Failure().toStdString();
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QStringList Memory(const QString &scenario) const
    {
        return {"--simulate=" + scenario,
                "--database",
                m_cluster.Url(),
                "memory",
                "--from",
                "2024-05-01",
                "--to",
                "2024-05-01"};
    }
    QStringList VirtualTimeMemory(const QString &scenario) const
    {
        QStringList arguments = Memory(scenario);
        arguments.insert(1, "--virtual-time");
        return arguments;
    }
    qint64 Count(MeasurementArchive &archive, const char *sql)
    {
        QSqlQuery query(archive.Database());
        EXPECT_TRUE(query.exec(QString::fromLatin1(sql)));
        return query.next() ? query.value(0).toLongLong() : -1;
    }
    // The first download's rows as the server has them now (0 while there is none).
    int ServerRows()
    {
        MeasurementArchive server(ParseArchiveLocation(m_cluster.Url(), nullptr).value());
        if (!server.Open(MeasurementArchive::Purpose::Read))
            return 0;
        const auto list = server.ListDownloads({});
        return list && !list->isEmpty() ? list->last().rowCount : 0;
    }

    // archive sync of the program `cli` finds nothing left to send.
    void ExpectNothingWaits(const QString &cli)
    {
        const CliRun sync = RunProgram(cli, {"--database", m_cluster.Url(), "archive", "sync"});
        EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
        EXPECT_EQ(Lines(sync.err), QStringList{"기록 서버로 보낸 다운로드 0건, 남은 다운로드 0건"});
    }
    // The server holds one download, complete, with every record of ManyStoredRecords(records) in order.
    void ExpectTheWholeDownloadOnTheServer(int records)
    {
        MeasurementArchive server(ParseArchiveLocation(m_cluster.Url(), nullptr).value());
        ASSERT_TRUE(server.Open(MeasurementArchive::Purpose::Read));
        const auto list = server.ListDownloads({});
        ASSERT_TRUE(list && list->size() == 1);
        EXPECT_TRUE(list->first().complete);
        EXPECT_EQ(list->first().resultCode, 0);
        EXPECT_EQ(list->first().rowCount, records);
        const auto download = server.LoadDownload(list->first().id);
        ASSERT_TRUE(download);
        ASSERT_EQ(int(download->records.size()), records);
        for (int i = 0; i < records; ++i)
            ASSERT_EQ(download->records[i].second[7] * 256 + download->records[i].second[8], 1000 + i) << i;
    }

    PostgresCluster m_cluster;
    QTemporaryDir m_dir;
};

TEST_F(ArchiveServer, TwoStationsDownloadingOneInstrumentAtOnceKeepEveryRecordOnce)
{
    constexpr int kRecords = 400;
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    // Two stations: each program in a folder of its own.
    QDir(m_dir.path()).mkpath("first");
    QDir(m_dir.path()).mkpath("second");
    QProcess first, second;
    first.start(CliCopyIn(Path("first")), Memory(scenario));
    second.start(CliCopyIn(Path("second")), Memory(scenario));
    ASSERT_TRUE(first.waitForFinished(120000) && second.waitForFinished(120000));
    for (QProcess *process : {&first, &second}) {
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
        EXPECT_EQ(Lines(QString::fromUtf8(process->readAllStandardOutput())).size(), kRecords + 1);
    }

    const CliRun history = RunCli({"--database", m_cluster.Url(), "history", "--instrument", "SN-ARCH"});
    ASSERT_EQ(history.exitCode, 0) << history.err.toStdString();
    const QStringList lines = Lines(history.out);
    ASSERT_EQ(lines.size(), 3);
    for (const QString &line : lines.mid(1))
        EXPECT_TRUE(line.endsWith(QStringLiteral("\tMEMORY\t%1\t0\t1\t0").arg(kRecords))) << line.toStdString();

    MeasurementArchive server(ParseArchiveLocation(m_cluster.Url(), nullptr).value());
    ASSERT_TRUE(server.Open(MeasurementArchive::Purpose::Read));
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM stored_records"), kRecords);
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM download_records"), 2 * kRecords);
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM instruments"), 1);
    const CliRun show = RunCli({"--database", m_cluster.Url(), "history", "show", lines[1].section('\t', 0, 0)});
    EXPECT_EQ(show.out.toUtf8(), first.exitCode() == 0
                                     ? RunCli({"--simulate=" + scenario, "--virtual-time", "--no-archive", "memory",
                                               "--from", "2024-05-01", "--to", "2024-05-01"})
                                           .out.toUtf8()
                                     : QByteArray());
}

TEST_F(ArchiveServer, RecordsKeptLocallyWhileTheServerIsDownArriveAfterArchiveSync)
{
    constexpr int kRecords = 3000; // about four seconds on the line
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    // A copy of the program in its own folder keeps its local archive there.
    const QString cli = CliCopyIn(m_dir.path());
    QProcess download;
    download.start(cli, Memory(scenario));
    ASSERT_TRUE(download.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (ServerRows() == 0 && waited.elapsed() < 60000)
        QThread::msleep(50);
    ASSERT_TRUE(m_cluster.Stop());
    ASSERT_TRUE(download.waitForFinished(120000));
    const QString err = QString::fromUtf8(download.readAllStandardError());
    EXPECT_EQ(download.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(Lines(QString::fromUtf8(download.readAllStandardOutput())).size(), kRecords + 1);
    // The Korean notice, then the server's own text.
    ASSERT_EQ(Lines(err).size(), 2) << err.toStdString();
    EXPECT_TRUE(err.startsWith("기록 서버(" + m_cluster.Url() + ")에 연결할 수 없어")) << err.toStdString();
    EXPECT_TRUE(Lines(err)[1].startsWith("  데이터베이스의 응답: ")) << err.toStdString();
    EXPECT_TRUE(QFile::exists(Path("archive.sqlite")));

    // While the server is down, sync fails and keeps everything waiting.
    CliRun sync = RunProgram(cli, {"--database", m_cluster.Url(), "archive", "sync"});
    EXPECT_EQ(sync.exitCode, 1);
    ASSERT_TRUE(m_cluster.Start());
    sync = RunProgram(cli, {"--database", m_cluster.Url(), "archive", "sync"});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_EQ(Lines(sync.err), QStringList{"기록 서버로 보낸 다운로드 1건, 남은 다운로드 0건"});
    ExpectNothingWaits(cli);

    ExpectTheWholeDownloadOnTheServer(kRecords);
}

TEST_F(ArchiveServer, ADownloadMadeWhileTheServerIsDownIsSentAtTheNextConnection)
{
    const QString cli = CliCopyIn(m_dir.path());
    const QStringList virtualTime = VirtualTimeMemory(WriteFile(Path("s.json"), ManyStoredRecords(5)));
    ASSERT_TRUE(m_cluster.Stop());
    CliRun run = RunProgram(cli, virtualTime);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Lines(run.err).size(), 2) << run.err.toStdString();
    ASSERT_TRUE(m_cluster.Start());
    run = RunProgram(cli, virtualTime);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QStringList history = Lines(RunProgram(cli, {"--database", m_cluster.Url(), "history"}).out);
    EXPECT_EQ(history.size(), 3);
}

TEST_F(ArchiveServer, ASyncWhileADownloadStillArrivesEndsWithEveryRecordOnTheServer)
{
    constexpr int kRecords = 10000; // about thirteen seconds on the line
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    const QString cli = CliCopyIn(m_dir.path());
    ASSERT_TRUE(m_cluster.Stop());
    QProcess download;
    download.start(cli, Memory(scenario));
    ASSERT_TRUE(download.waitForStarted());
    // The download goes to the station's own file while the server is down.
    MeasurementArchive local(DefaultArchiveLocation(m_dir.path()));
    QElapsedTimer waited;
    waited.start();
    auto localRows = [&] {
        if (!local.IsOpen() && !local.Open(MeasurementArchive::Purpose::Read))
            return 0;
        const auto list = local.ListDownloads({});
        return list && !list->isEmpty() ? list->first().rowCount : 0;
    };
    while (localRows() < 200 && waited.elapsed() < 60000)
        QThread::msleep(50);
    ASSERT_TRUE(m_cluster.Start());
    const CliRun midway = RunProgram(cli, {"--database", m_cluster.Url(), "archive", "sync"});
    ASSERT_EQ(download.state(), QProcess::Running) << "the download ended before the sync; the test needs a slower one";
    EXPECT_EQ(midway.exitCode, 1);
    EXPECT_EQ(Lines(midway.err), (QStringList{"기록 서버로 보낸 다운로드 0건, 남은 다운로드 1건",
                                              "남은 다운로드 1: 아직 받고 있는 다운로드입니다"}));
    const int sentMidway = ServerRows();
    EXPECT_GT(sentMidway, 0);
    EXPECT_LT(sentMidway, kRecords);

    // The download sends the rest itself when it ends, the server being back.
    ASSERT_TRUE(download.waitForFinished(120000));
    EXPECT_EQ(download.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(download.readAllStandardError()), QString());
    ExpectNothingWaits(cli);
    ExpectTheWholeDownloadOnTheServer(kRecords);
}

TEST_F(ArchiveServer, TwoSyncsAtOnceLeaveEveryDownloadOnTheServerOnce)
{
    const QString cli = CliCopyIn(m_dir.path());
    const QStringList virtualTime = VirtualTimeMemory(WriteFile(Path("s.json"), ManyStoredRecords(300)));
    ASSERT_TRUE(m_cluster.Stop());
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(RunProgram(cli, virtualTime).exitCode, 0);
    ASSERT_TRUE(m_cluster.Start());
    QProcess first, second;
    for (QProcess *sync : {&first, &second})
        sync->start(cli, {"--database", m_cluster.Url(), "archive", "sync"});
    int sent = 0;
    for (QProcess *sync : {&first, &second}) {
        ASSERT_TRUE(sync->waitForFinished(60000));
        const QString err = QString::fromUtf8(sync->readAllStandardError());
        EXPECT_EQ(sync->exitCode(), 0) << err.toStdString();
        sent += err.section(QStringLiteral("보낸 다운로드 "), 1).section(QStringLiteral("건"), 0, 0).toInt();
    }
    EXPECT_EQ(sent, 4); // each download told sent by one of them
    ExpectNothingWaits(cli);
    MeasurementArchive server(ParseArchiveLocation(m_cluster.Url(), nullptr).value());
    ASSERT_TRUE(server.Open(MeasurementArchive::Purpose::Read));
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM downloads WHERE complete = 1 AND row_count = 300"), 4);
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM stored_records"), 300);
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM download_records"), 4 * 300);
}

TEST_F(ArchiveServer, TheServersReasonAndItsOwnTextAreOnStderrAndNoPasswordIsEverShown)
{
    ASSERT_EQ(m_cluster.Sql("CREATE ROLE station LOGIN PASSWORD 'right'"), QString());
    ASSERT_TRUE(m_cluster.SetClientAuthentication({"local all station scram-sha-256", "local all all trust"}));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("PGPASSWORD");
    environment.insert("PGPASSFILE", Path("none"));
    QProcess sync;
    sync.setProcessEnvironment(environment);
    sync.start(CliCopyIn(m_dir.path()), {"--database", m_cluster.UrlOf("station"), "archive", "sync"});
    ASSERT_TRUE(sync.waitForFinished(60000));
    // Nothing waits locally yet: the sync has nothing to send and does not need the server.
    EXPECT_EQ(QString::fromUtf8(sync.readAllStandardError()).toStdString(), "보낼 기록이 없습니다\n");
    const CliRun history = RunCli({"--database", m_cluster.UrlOf("station"), "history"});
    EXPECT_EQ(history.exitCode, 1);
    const QStringList lines = Lines(history.err);
    ASSERT_EQ(lines.size(), 2) << history.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("기록 읽기 실패 - 기록 서버가 로그인을 거부했습니다")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("no password supplied")) << lines[1].toStdString();

    for (const QString &url : {QStringLiteral("postgresql://station@/tonvale?sslmode=require;password=secret"),
                               QStringLiteral("postgresql://station@/tonvale?sslmode=require%20password%3Dsecret"),
                               QStringLiteral("postgresql://station@/tonvale?application_name=a%20password=secret"),
                               QStringLiteral("postgresql://station:secret@/tonvale?x=%zz")}) {
        const CliRun refused = RunCli({"--database", url, "history"});
        EXPECT_EQ(refused.exitCode, 2) << url.toStdString();
        EXPECT_FALSE(refused.err.contains("secret")) << refused.err.toStdString();
        EXPECT_TRUE(refused.err.contains(QStringLiteral("비밀번호"))) << refused.err.toStdString();
    }
}

// A server that takes the connection and never answers: the download goes to the station's own file and
// the program ends with the table and the notice; archive sync sends it once the server answers.
TEST_F(ArchiveServer, AServerThatNeverAnswersGetsTheDownloadBySyncOnceItAnswers)
{
    DelayProxy proxy((m_cluster.SocketDir() + "/.s.PGSQL.5432").toStdString(), std::chrono::milliseconds(0));
    ASSERT_GT(proxy.Port(), 0);
    proxy.SetSilent(true);
    const QString url = QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(proxy.Port());
    constexpr int kRecords = 300;
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    const QString cli = CliCopyIn(m_dir.path());
    const CliRun run = RunProgram(cli, {"--simulate=" + scenario, "--virtual-time", "--database", url, "memory",
                                        "--from", "2024-05-01", "--to", "2024-05-01"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(Lines(run.out).size(), kRecords + 1);
    ASSERT_EQ(Lines(run.err).size(), 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith("기록 서버(" + url + ")에 연결할 수 없어")) << run.err.toStdString();

    proxy.SetSilent(false);
    const CliRun sync = RunProgram(cli, {"--database", url, "archive", "sync"});
    EXPECT_EQ(sync.exitCode, 0) << sync.err.toStdString();
    EXPECT_EQ(Lines(sync.err), QStringList{"기록 서버로 보낸 다운로드 1건, 남은 다운로드 0건"});
    ExpectTheWholeDownloadOnTheServer(kRecords);
}

// A server archive made by a newer program is told as such, with the versions on stderr; a download
// waits in the station's own file.
TEST_F(ArchiveServer, AServerArchiveNewerThanTheProgramIsToldAsSuch)
{
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(3));
    const QString cli = CliCopyIn(m_dir.path());
    ASSERT_EQ(RunProgram(cli, VirtualTimeMemory(scenario)).exitCode, 0);
    ASSERT_EQ(m_cluster.Sql("UPDATE schema_version SET version = 99"), QString());

    const CliRun history = RunProgram(cli, {"--database", m_cluster.Url(), "history"});
    EXPECT_EQ(history.exitCode, 1);
    ASSERT_EQ(Lines(history.err).size(), 2) << history.err.toStdString();
    EXPECT_TRUE(
        history.err.startsWith(QStringLiteral("기록 읽기 실패 - 기록 서버의 보관 구조가 이 프로그램보다 새 버전")))
        << history.err.toStdString();
    EXPECT_TRUE(Lines(history.err)[1].contains("99")) << history.err.toStdString();

    const CliRun download = RunProgram(cli, VirtualTimeMemory(scenario));
    EXPECT_EQ(download.exitCode, 0) << download.err.toStdString();
    EXPECT_TRUE(download.err.contains(QStringLiteral("기록 서버의 보관 구조가 이 프로그램보다 새 버전")))
        << download.err.toStdString();
    EXPECT_TRUE(QFile::exists(Path("archive.sqlite")));
}

TEST_F(ArchiveServer, SetUpByTheOwnerStationsFinishOnlyTheirOwnDownloadsAndReadersOnlyRead)
{
    // Twice: the set-up may be repeated (after an upgrade, say).
    for (int i = 0; i < 2; ++i) {
        const CliRun setup = RunCli({"--database", m_cluster.Url(), "archive", "setup"});
        ASSERT_EQ(setup.exitCode, 0) << setup.err.toStdString();
        EXPECT_TRUE(setup.err.startsWith(QStringLiteral("기록 서버 보관소를 준비했습니다"))) << setup.err.toStdString();
    }
    ASSERT_EQ(m_cluster.Sql("CREATE ROLE kim LOGIN IN ROLE tonvale_station; CREATE ROLE lee LOGIN IN ROLE "
                            "tonvale_station; CREATE ROLE office LOGIN IN ROLE tonvale_reader"),
              QString());
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(3));
    for (const char *station : {"kim", "lee"}) {
        const CliRun run = RunProgram(CliCopyIn(m_dir.path()), {"--simulate=" + scenario, "--virtual-time",
                                                                "--database", m_cluster.UrlOf(station), "memory",
                                                                "--from", "2024-05-01", "--to", "2024-05-01"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, QString()) << station << ": " << run.err.toStdString(); // the server took it
    }
    // A continuous run goes in under the same rules.
    const QString run = WriteFile(Path("c.json"), R"({"identity": {"serial": "SN-C"}, "continuous": {"average": 100,
        "minimum": 90, "maximum": 110, "deviation": 5, "records": [{"time": "2024-05-01 09:20:00", "raw": 1462,
        "setting": 1}]}})");
    const CliRun output = RunProgram(CliCopyIn(m_dir.path()), {"--simulate=" + run, "--virtual-time", "--database",
                                                               m_cluster.UrlOf("kim"), "output"});
    EXPECT_EQ(output.exitCode, 0);
    EXPECT_EQ(output.err, QString()) << output.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("archive.sqlite")));

    MeasurementArchive lee(ParseArchiveLocation(m_cluster.UrlOf("lee"), nullptr).value());
    ASSERT_TRUE(lee.Open()) << lee.LastError().detail.toStdString();
    QSqlQuery forge(lee.Database());
    // Another station's download is out of reach; what names the download cannot be changed at all.
    ASSERT_TRUE(forge.exec("UPDATE downloads SET row_count = 0, complete = 0 WHERE owner_role = 'kim'"));
    EXPECT_EQ(forge.numRowsAffected(), 0);
    EXPECT_FALSE(forge.exec("UPDATE downloads SET host = 'forged' WHERE owner_role = 'kim'"));
    ASSERT_TRUE(forge.exec("UPDATE downloads SET row_count = 3 WHERE owner_role = 'lee'"));
    EXPECT_EQ(forge.numRowsAffected(), 1);
    EXPECT_FALSE(forge.exec("INSERT INTO download_records (download_id, position, record_id) SELECT d.id, 99,"
                            " r.id FROM downloads d, stored_records r WHERE d.owner_role = 'kim' LIMIT 1"));
    EXPECT_FALSE(forge.exec("UPDATE downloads SET owner_role = 'kim' WHERE owner_role = 'lee'"));
    EXPECT_FALSE(forge.exec("CREATE TABLE mine (x INTEGER)"));
    EXPECT_FALSE(forge.exec("DELETE FROM stored_records"));

    MeasurementArchive office(ParseArchiveLocation(m_cluster.UrlOf("office"), nullptr).value());
    ASSERT_TRUE(office.Open(MeasurementArchive::Purpose::Read)) << office.LastError().detail.toStdString();
    QSqlQuery read(office.Database());
    EXPECT_FALSE(read.exec("UPDATE downloads SET row_count = 0"));
    EXPECT_FALSE(read.exec("INSERT INTO instruments (instrument_key, serial) VALUES ('S:X', 'X')"));
    const CliRun history = RunCli({"--database", m_cluster.UrlOf("office"), "history"});
    EXPECT_EQ(history.exitCode, 0) << history.err.toStdString();
    EXPECT_EQ(Lines(history.out).size(), 4);

    MeasurementArchive owner(ParseArchiveLocation(m_cluster.Url(), nullptr).value());
    ASSERT_TRUE(owner.Open());
    EXPECT_EQ(
        Count(owner, "SELECT COUNT(*) FROM downloads WHERE mode = 'MEMORY' AND (host = 'forged' OR row_count <> 3)"),
        0);
    EXPECT_EQ(Count(owner, "SELECT COUNT(*) FROM downloads WHERE complete = 1"), 3);
    EXPECT_EQ(Count(owner, "SELECT COUNT(*) FROM continuous_records"), 1);
    EXPECT_EQ(Count(owner, "SELECT COUNT(*) FROM download_records"), 6);
}

} // namespace
