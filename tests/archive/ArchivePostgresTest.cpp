#include "ArchiveSync.h"
#include "ArchiveTestSupport.h"
#include "DelayProxy.h"
#include "DownloadReplay.h"
#include "MeasurementArchive.h"
#include "PostgresCluster.h"
#include "RecordTables.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class ArchivePostgres : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!m_cluster.SkipReason().isEmpty())
            GTEST_SKIP() << m_cluster.SkipReason().toStdString();
        ASSERT_TRUE(m_cluster.Failure().isEmpty()) << m_cluster.Failure().toStdString();
        m_server = ParseArchiveLocation(m_cluster.Url(), nullptr).value();
    }
    ArchiveSettings Settings(const QString &url) const
    {
        ArchiveSettings settings;
        settings.location = ParseArchiveLocation(url, nullptr).value();
        settings.local = DefaultArchiveLocation(m_dir.path());
        return settings;
    }
    static qint64 Count(MeasurementArchive &archive, const QString &sql)
    {
        QSqlQuery query(archive.Database());
        EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
        return query.next() ? query.value(0).toLongLong() : -1;
    }
    // The kind of failure opening url for writing meets.
    static ArchiveError OpenError(const QString &url)
    {
        MeasurementArchive archive(ParseArchiveLocation(url, nullptr).value());
        EXPECT_FALSE(archive.Open()) << url.toStdString();
        return archive.LastError();
    }

    PostgresCluster m_cluster;
    ArchiveLocation m_server;
    QTemporaryDir m_dir;
};

// A TCP port on 127.0.0.1 that nothing listens on now.
int FreeTcpPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0;
    close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

std::vector<RawRecord> Records(int first, int count)
{
    std::vector<RawRecord> records;
    for (int i = first; i < first + count; ++i)
        records.push_back(TestRecord(i, 1000 + i));
    return records;
}

TEST_F(ArchivePostgres, AFirstVersionServerIsMigratedAndDownloadsReplayFromIt)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "v1");
        db.setHostName(m_server.host);
        db.setUserName(m_server.user);
        db.setDatabaseName(m_server.database);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        ASSERT_TRUE(MigrateArchive(db, SqlDialect::Postgres, 1).ok);
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("INSERT INTO instruments (instrument_key, serial) VALUES ('S:OLD', 'OLD')"));
        ASSERT_TRUE(q.exec("INSERT INTO identities (instrument_id, name, lc15_serial, lc30_serial, lc30_cover_serial,"
                           " serial, lc15_cover_serial, lc25_cover_serial, firmware)"
                           " SELECT id, 'PM', '-', '-', '-', 'OLD', '-', '-', 'V0' FROM instruments"));
        ASSERT_TRUE(q.exec("INSERT INTO downloads (instrument_id, identity_id, host, os_user, started_at, mode,"
                           " row_count) SELECT instrument_id, id, 'pc', 'kim', 10, 'OUTPUT', 0 FROM identities"));
        db.close();
    }
    QSqlDatabase::removeDatabase("v1");

    TestGrid grid(DownloadMode::Memory);
    ArchiveSettings settings;
    settings.location = m_server;
    settings.local = DefaultArchiveLocation(m_dir.path());
    settings.batchRecords = 2;
    ArchivingLinkOwner owner(grid.sink, settings);
    const std::vector<RawRecord> records{TestRecord(0, 1470), TestRecord(1, 0, 7), TestRecord(2, 65535, 2)};
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(TestIdentity("OLD"), DownloadMode::Memory, 100), records),
              QStringList());
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(TestIdentity("OLD"), DownloadMode::Memory, 200), records),
              QStringList());
    EXPECT_FALSE(QFile::exists(settings.local.sqlitePath)); // nothing had to wait locally

    MeasurementArchive server(m_server);
    ASSERT_TRUE(server.Open(MeasurementArchive::Purpose::Read));
    QSqlQuery q(server.Database());
    ASSERT_TRUE(q.exec("SELECT COUNT(*), COUNT(DISTINCT uid) FROM downloads") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 3);
    EXPECT_EQ(q.value(1).toInt(), 3);
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM stored_records") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 3);
    const auto list = server.ListDownloads({QStringLiteral("OLD"), {}, {}, -1});
    ASSERT_TRUE(list && list->size() == 3);
    const auto download = server.LoadDownload(list->first().id);
    ASSERT_TRUE(download);
    CSpreadSheet rebuilt;
    FillRecordSheets(ReplayedMeasurement(*download), rebuilt);
    EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid.Sheet()));
}

// A batch goes to the server as one set: records it holds twice are kept once and linked at each of
// their positions, and a continuous run's summary and records arrive whole, in order.
TEST_F(ArchivePostgres, BatchesGoAsSetsWithRepeatsKeptOnceAtEveryPosition)
{
    ArchiveSettings settings;
    settings.location = m_server;
    settings.local = DefaultArchiveLocation(m_dir.path());
    settings.batchRecords = 250;
    TestGrid stored(DownloadMode::Memory), continuous(DownloadMode::Output);
    {
        ArchivingLinkOwner storedOwner(stored.sink, settings), continuousOwner(continuous.sink, settings);
        std::vector<RawRecord> records;
        for (int i = 0; i < 600; ++i)
            records.push_back(TestRecord(i % 200, 1000 + i % 200, i % 200 % 3));
        EXPECT_EQ(
            ArchiveStoredDownload(storedOwner, TestStart(TestIdentity("SN-SET"), DownloadMode::Memory, 100), records),
            QStringList());

        continuousOwner.BeginDownload(TestStart(TestIdentity("SN-SET"), DownloadMode::Output, 200));
        const uint8_t summary[9] = {3, 0x30, 0x34, 0x30, 0x3D, 0x3A, 0x98, 0x00, 0x23};
        continuousOwner.SetContinuousSummary(summary);
        for (int i = 0; i < 300; ++i)
            continuousOwner.AddContinuousRecordRow(i, TestRecord(300 - i, 1460 + i, i % 3).data());
        continuousOwner.FinishDownload(0, 300, 201);
        EXPECT_EQ(continuousOwner.TakeNotices(), QStringList());
    }
    EXPECT_FALSE(QFile::exists(settings.local.sqlitePath));

    MeasurementArchive server(m_server);
    ASSERT_TRUE(server.Open(MeasurementArchive::Purpose::Read));
    QSqlQuery q(server.Database());
    ASSERT_TRUE(q.exec("SELECT (SELECT COUNT(*) FROM stored_records), (SELECT COUNT(*) FROM download_records),"
                       " (SELECT COUNT(*) FROM continuous_records)") &&
                q.next());
    EXPECT_EQ(q.value(0).toInt(), 200);
    EXPECT_EQ(q.value(1).toInt(), 600);
    EXPECT_EQ(q.value(2).toInt(), 300);
    const auto list = server.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 2);
    for (const auto &[summary, grid] : {std::pair{list->at(0), &continuous}, std::pair{list->at(1), &stored}}) {
        EXPECT_TRUE(summary.complete);
        const auto download = server.LoadDownload(summary.id);
        ASSERT_TRUE(download);
        CSpreadSheet rebuilt;
        FillRecordSheets(ReplayedMeasurement(*download), rebuilt);
        EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid->Sheet()));
    }
}

TEST_F(ArchivePostgres, AnUnreachableServerSendsTheLocalCopyOnceItIsBack)
{
    TestGrid grid(DownloadMode::Memory);
    ArchiveSettings settings;
    settings.location = m_server;
    settings.local = DefaultArchiveLocation(m_dir.path());
    ASSERT_TRUE(m_cluster.Stop());
    // The name did not answer and one record arrived damaged: both travel to the server as they are.
    InstrumentIdentity nameUnread = TestIdentity("SN-5");
    nameUnread.texts[0] = QString();
    {
        ArchivingLinkOwner owner(grid.sink, settings);
        const QStringList notices = ArchiveStoredDownload(owner, TestStart(nameUnread, DownloadMode::Memory, 100),
                                                          {TestRecord(0, 1), TestRecord(1, 2)}, 0, 1);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].contains(settings.local.sqlitePath));
    }
    ASSERT_TRUE(m_cluster.Start());
    MeasurementArchive local(settings.local), server(m_server);
    ASSERT_TRUE(local.Open() && server.Open());
    SyncResult sent = SendPendingDownloads(local, server);
    EXPECT_EQ(sent.sent, 1);
    EXPECT_TRUE(sent.waiting.isEmpty());
    // Sending again finds nothing; importing the same download again keeps it once.
    EXPECT_EQ(SendPendingDownloads(local, server).sent, 0);
    const auto kept = local.ListDownloads({});
    ASSERT_TRUE(kept && kept->size() == 1);
    ASSERT_TRUE(server.ImportDownload(*local.LoadDownload(kept->first().id)));
    const auto list = server.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 1);
    EXPECT_EQ(list->first().uid, kept->first().uid);
    EXPECT_EQ(server.LoadDownload(list->first().id)->records.size(), 2u);
    EXPECT_TRUE(list->first().identity.texts[0].isNull());
    EXPECT_EQ(list->first().damaged, 1);
    EXPECT_FALSE(list->first().complete);
    // A later download under the same partial identity files no second identity.
    ArchivingLinkOwner owner(grid.sink, settings);
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(nameUnread, DownloadMode::Memory, 200), {TestRecord(2, 3)}),
              QStringList());
    QSqlQuery q(server.Database());
    ASSERT_TRUE(q.exec("SELECT COUNT(*) FROM identities WHERE name IS NULL") && q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
    EXPECT_EQ(server.ListDownloads({QStringLiteral("sn-5"), {}, {}, -1})->size(), 2);
}

TEST_F(ArchivePostgres, ADownloadStillBeingWrittenIsSentAsFarAsItCameAndTheRestFollows)
{
    TestGrid grid(DownloadMode::Memory);
    ArchiveSettings settings = Settings(m_cluster.Url());
    settings.batchRecords = 1;
    ArchivingLinkOwner owner(grid.sink, settings);
    ASSERT_TRUE(m_cluster.Stop());
    const DownloadStart start = TestStart(TestIdentity("SN-RACE"), DownloadMode::Memory, 100);
    owner.BeginDownload(start);
    const std::vector<RawRecord> records = Records(0, 5);
    for (int i = 0; i < 3; ++i)
        owner.AddStoredRecordRow(i, records[i].data());
    ASSERT_TRUE(m_cluster.Start());

    // The archive writes on its own thread: wait until the local file holds what was handed over.
    MeasurementArchive local(settings.local), server(m_server);
    const auto waitFor = [](const std::function<bool()> &done) {
        for (int i = 0; i < 1000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };
    const auto localRows = [&] {
        const auto pending = local.PendingDownloads();
        return pending && !pending->isEmpty() ? local.LoadDownload(pending->first().id)->summary.rowCount : 0;
    };
    ASSERT_TRUE(waitFor([&] { return (local.IsOpen() || local.Open()) && localRows() == 3; }));
    ASSERT_TRUE(server.Open());
    // A sync while the download is still arriving sends what there is and leaves it waiting.
    SyncResult sync = SendPendingDownloads(local, server);
    EXPECT_EQ(sync.sent, 0);
    ASSERT_EQ(sync.waiting.size(), 1);
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM download_records"), 3);
    EXPECT_EQ(Count(server, "SELECT MAX(complete) FROM downloads"), 0);
    // What a sync read is not marked sent once the writer wrote again.
    const qint64 localId = local.PendingDownloads()->first().id;
    const int revision = local.LoadDownload(localId)->summary.revision;
    owner.AddStoredRecordRow(3, records[3].data());
    ASSERT_TRUE(waitFor([&] { return local.LoadDownload(localId)->summary.revision != revision; }));
    EXPECT_FALSE(local.MarkSent(localId, revision));

    // The rest, and the end, reach the server when the download finishes: nothing is left to tell.
    owner.AddStoredRecordRow(4, records[4].data());
    owner.FinishDownload(0, 5, 200);
    EXPECT_EQ(owner.TakeNotices(), QStringList());
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM download_records"), 5);
    EXPECT_EQ(Count(server, "SELECT SUM(complete) FROM downloads"), 1);
    sync = SendPendingDownloads(local, server);
    EXPECT_EQ(sync.sent, 0);
    EXPECT_TRUE(sync.waiting.isEmpty());
}

TEST_F(ArchivePostgres, ADownloadTheServerRefusesWaitsWithItsReasonAndTheOthersAreSent)
{
    ASSERT_EQ(m_cluster.Sql("CREATE DATABASE euckr ENCODING 'EUC_KR' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0"),
              QString());
    const QString url = m_cluster.UrlOf("tonvale", "euckr");
    TestGrid grid(DownloadMode::Memory);
    auto owner = std::make_unique<ArchivingLinkOwner>(grid.sink, Settings(url));
    ASSERT_TRUE(m_cluster.Stop());
    // A serial byte the instrument's code page does not know decodes to U+FFFD, which EUC_KR cannot hold.
    ArchiveStoredDownload(*owner,
                          TestStart(TestIdentity(QString::fromUtf8("SN-\xEF\xBF\xBD")), DownloadMode::Memory, 100),
                          Records(0, 2));
    ArchiveStoredDownload(*owner, TestStart(TestIdentity("SN-GOOD"), DownloadMode::Memory, 200), Records(10, 2));
    ASSERT_TRUE(m_cluster.Start());

    // The window's next download sends what it can and tells the refusal once, with the server's reason.
    QStringList notices =
        ArchiveStoredDownload(*owner, TestStart(TestIdentity("SN-GOOD"), DownloadMode::Memory, 300), Records(20, 1));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(QStringLiteral("받지 않았습니다"))) << notices[0].toStdString();
    owner = std::make_unique<ArchivingLinkOwner>(grid.sink, Settings(url)); // the station's next run
    EXPECT_EQ(
        ArchiveStoredDownload(*owner, TestStart(TestIdentity("SN-GOOD"), DownloadMode::Memory, 400), Records(30, 1)),
        QStringList());

    MeasurementArchive local(Settings(url).local), server(ParseArchiveLocation(url, nullptr).value());
    ASSERT_TRUE(local.Open() && server.Open());
    const SyncResult sync = SendPendingDownloads(local, server);
    EXPECT_EQ(sync.sent, 0);
    ASSERT_EQ(sync.waiting.size(), 1);
    EXPECT_TRUE(sync.waiting[0].reason.startsWith(QStringLiteral("보관 중 오류가 났습니다")))
        << sync.waiting[0].reason.toStdString();
    EXPECT_TRUE(sync.waiting[0].detail.contains("EUC_KR")) << sync.waiting[0].detail.toStdString();
    EXPECT_TRUE(sync.newlyRefused.isEmpty());
    EXPECT_EQ(Count(server, "SELECT COUNT(*) FROM downloads"), 3);
}

TEST_F(ArchivePostgres, EveryDownloadGoesToTheNamedSchemaWhateverTheRolesSearchPath)
{
    ASSERT_EQ(m_cluster.Sql("CREATE ROLE alice LOGIN; CREATE SCHEMA alice AUTHORIZATION alice;"
                            " GRANT CREATE ON SCHEMA public TO alice"),
              QString());
    for (const QString &url : {m_cluster.UrlOf("alice"), m_cluster.UrlOf("alice") + "&schema=alice"}) {
        TestGrid grid(DownloadMode::Memory);
        ArchivingLinkOwner owner(grid.sink, Settings(url));
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-A"), DownloadMode::Memory, 100 + i),
                                            Records(i, 2)),
                      QStringList())
                << url.toStdString();
        // A later station's process reads the same tables.
        MeasurementArchive again(ParseArchiveLocation(url, nullptr).value());
        ASSERT_TRUE(again.Open());
        EXPECT_EQ(again.ListDownloads({})->size(), 2);
    }
    MeasurementArchive owner(m_server);
    ASSERT_TRUE(owner.Open());
    EXPECT_EQ(Count(owner, "SELECT COUNT(*) FROM public.downloads"), 2);
    EXPECT_EQ(Count(owner, "SELECT COUNT(*) FROM alice.downloads"), 2);
    EXPECT_FALSE(QFile::exists(Settings(m_cluster.Url()).local.sqlitePath)); // nothing fell back
}

TEST_F(ArchivePostgres, PendingDownloadsWaitForTheServerArchiveNotForTheSpellingOfItsAddress)
{
    const int port = FreeTcpPort();
    ASSERT_GT(port, 0);
    ASSERT_TRUE(m_cluster.Stop() && m_cluster.Start(port));
    const QString byName = QStringLiteral("postgresql://tonvale@localhost:%1/tonvale").arg(port);
    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, Settings(byName));
    ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-ID"), DownloadMode::Memory, 100), Records(0, 1));
    ASSERT_TRUE(m_cluster.Stop());
    ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-ID"), DownloadMode::Memory, 200), Records(1, 2));
    ASSERT_TRUE(m_cluster.Start(port));
    ASSERT_EQ(m_cluster.Sql("CREATE DATABASE other"), QString());

    MeasurementArchive local(Settings(byName).local);
    ASSERT_TRUE(local.Open());
    // Another database is another archive: the download is not sent there, and the sync says so.
    MeasurementArchive other(ParseArchiveLocation(m_cluster.UrlOf("tonvale", "other"), nullptr).value());
    ASSERT_TRUE(other.Open());
    EXPECT_NE(other.ArchiveId(), QString());
    SyncResult sync = SendPendingDownloads(local, other);
    EXPECT_EQ(sync.sent, 0);
    ASSERT_EQ(sync.waiting.size(), 1);
    EXPECT_TRUE(sync.waiting[0].reason.startsWith(QStringLiteral("다른 기록 서버 보관소")))
        << sync.waiting[0].reason.toStdString();
    EXPECT_EQ(Count(other, "SELECT COUNT(*) FROM downloads"), 0);
    // A station now set to that other archive says so once, and files its own downloads there.
    TestGrid otherGrid(DownloadMode::Memory);
    ArchivingLinkOwner moved(otherGrid.sink, Settings(m_cluster.UrlOf("tonvale", "other")));
    const QStringList told =
        ArchiveStoredDownload(moved, TestStart(TestIdentity("SN-ID"), DownloadMode::Memory, 300), Records(3, 1));
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(QStringLiteral("다른 기록 서버 보관소"))) << told[0].toStdString();
    EXPECT_EQ(ArchiveStoredDownload(moved, TestStart(TestIdentity("SN-ID"), DownloadMode::Memory, 400), Records(4, 1)),
              QStringList());
    EXPECT_EQ(Count(other, "SELECT COUNT(*) FROM downloads"), 2);
    // The same archive under another spelling of its address takes it.
    MeasurementArchive same(
        ParseArchiveLocation(
            QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale?application_name=station-1").arg(port), nullptr)
            .value());
    ASSERT_TRUE(same.Open());
    sync = SendPendingDownloads(local, same);
    EXPECT_EQ(sync.sent, 1);
    EXPECT_TRUE(sync.waiting.isEmpty());
    EXPECT_EQ(Count(same, "SELECT COUNT(*) FROM downloads"), 2);
}

// A server that takes the connection and never answers, or answers and then falls silent, costs the
// download nothing: its end is queued at once, what the server did not take goes to the station's own file,
// and it reaches the server whole by a sync once the server answers again.
TEST_F(ArchivePostgres, AServerThatFallsSilentCostsTheDownloadNothingAndIsSyncedLater)
{
    DelayProxy proxy((m_cluster.SocketDir() + "/.s.PGSQL.5432").toStdString(), std::chrono::milliseconds(0));
    ASSERT_GT(proxy.Port(), 0);
    ArchiveSettings settings = Settings(QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(proxy.Port()));
    settings.batchRecords = 100;
    settings.serverPatience = std::chrono::seconds(2);
    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, settings);
    const std::vector<RawRecord> records = Records(0, 3000);
    std::atomic<int> told{0};
    // Records [first, first + count) of the 3000, at positions from `position` on.
    const auto feed = [&](int first, int count, int position) {
        for (int i = 0; i < count; ++i)
            owner.AddStoredRecordRow(position + i, records[size_t(first + i)].data());
    };
    const auto finish = [&](qint64 endedAt) {
        owner.FinishDownload(0, 1500, endedAt, 0, [&](const ArchiveOutcome &) { ++told; });
    };

    // Silent from the first byte: the download's end is queued long before the connection times out.
    proxy.SetSilent(true);
    owner.BeginDownload(TestStart(TestIdentity("SN-SILENT"), DownloadMode::Memory, 100));
    feed(0, 1500, 0);
    finish(105);
    EXPECT_EQ(told, 0);
    ArchiveOutcome outcome = owner.WaitForArchive();
    EXPECT_EQ(told, 1);
    ASSERT_EQ(outcome.notices.size(), 1);
    EXPECT_TRUE(outcome.notices[0].contains(settings.local.sqlitePath)) << outcome.notices[0].toStdString();

    // Answering at first, silent in the middle of the next download: the watchdog gives up on it.
    proxy.SetSilent(false);
    owner.BeginDownload(TestStart(TestIdentity("SN-SILENT"), DownloadMode::Memory, 200));
    feed(1500, 700, 0);
    MeasurementArchive direct(m_server);
    ASSERT_TRUE(direct.Open());
    for (int i = 0; i < 3000 && Count(direct, "SELECT COUNT(*) FROM download_records") < 100; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    proxy.SetSilent(true);
    feed(2200, 800, 700);
    finish(205);
    outcome = owner.WaitForArchive();
    EXPECT_EQ(told, 2);
    ASSERT_EQ(outcome.notices.size(), 1);
    EXPECT_TRUE(outcome.notices[0].contains(settings.local.sqlitePath)) << outcome.notices[0].toStdString();
    ASSERT_EQ(outcome.databaseTexts.size(), 1) << outcome.notices[0].toStdString();
    EXPECT_TRUE(outcome.databaseTexts[0].contains("did not answer")) << outcome.databaseTexts[0].toStdString();

    // Once the server answers again, a sync leaves nothing waiting and the server holds every record once.
    proxy.SetSilent(false);
    MeasurementArchive local(settings.local), server(settings.location);
    ASSERT_TRUE(local.Open() && server.Open());
    const SyncResult sync = SendPendingDownloads(local, server);
    EXPECT_TRUE(sync.waiting.isEmpty());
    EXPECT_EQ(Count(direct, "SELECT COUNT(*) FROM download_records"), 3000);
    EXPECT_EQ(Count(direct, "SELECT COUNT(DISTINCT record_id) FROM download_records"), 3000);
    EXPECT_EQ(Count(direct, "SELECT SUM(complete) FROM downloads"), 2);
}

// Whatever fails later on a connection the watchdog cut fails for that reason, not with the empty text of
// a statement that never reached the server.
TEST_F(ArchivePostgres, AConnectionCutForSilenceKeepsThatReasonForWhatFailsOnItLater)
{
    DelayProxy proxy((m_cluster.SocketDir() + "/.s.PGSQL.5432").toStdString(), std::chrono::milliseconds(0));
    ASSERT_GT(proxy.Port(), 0);
    MeasurementArchive archive(Settings(QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(proxy.Port())).location);
    archive.SetServerPatience(std::chrono::milliseconds(500));
    ASSERT_TRUE(archive.Open());
    proxy.SetSilent(true);
    EXPECT_FALSE(archive.BeginBatch());
    const ArchiveError cut = archive.LastError();
    EXPECT_TRUE(archive.WentSilent());
    EXPECT_TRUE(cut.detail.contains("did not answer")) << cut.detail.toStdString();
    EXPECT_FALSE(archive.BeginDownload(TestStart(TestIdentity("SN-CUT"), DownloadMode::Memory, 100)));
    EXPECT_EQ(archive.LastError().kind, ArchiveError::Kind::Unreachable);
    EXPECT_EQ(archive.LastError().detail.toStdString(), cut.detail.toStdString());
    EXPECT_FALSE(archive.ListDownloads({}));
    EXPECT_EQ(archive.LastError().detail.toStdString(), cut.detail.toStdString());
}

TEST_F(ArchivePostgres, TheServersReasonsAreToldApart)
{
    for (const char *sql : {"CREATE ROLE pw LOGIN PASSWORD 'right'; CREATE ROLE locked NOLOGIN; CREATE ROLE bob LOGIN",
                            "CREATE DATABASE newer", "CREATE DATABASE foreign_tables"})
        ASSERT_EQ(m_cluster.Sql(sql), QString());
    {
        MeasurementArchive archive(m_server);
        ASSERT_TRUE(archive.Open()); // the archive exists; bob was granted nothing on it
    }
    MeasurementArchive newer(ParseArchiveLocation(m_cluster.UrlOf("tonvale", "newer"), nullptr).value());
    ASSERT_TRUE(newer.Open());
    newer.Close();
    ASSERT_EQ(m_cluster.Sql("UPDATE schema_version SET version = 99", "newer"), QString());
    ASSERT_EQ(m_cluster.Sql("CREATE TABLE downloads (ticket TEXT)", "foreign_tables"), QString());
    qputenv("PGPASSFILE", m_dir.filePath("none").toUtf8());
    qunsetenv("PGPASSWORD");
    ASSERT_TRUE(m_cluster.SetClientAuthentication({"local all pw scram-sha-256", "local all all trust"}));

    EXPECT_EQ(OpenError(m_cluster.UrlOf("pw")).kind, ArchiveError::Kind::AuthenticationFailed);
    EXPECT_EQ(OpenError(m_cluster.UrlOf("ghost")).kind, ArchiveError::Kind::LoginRefused);
    EXPECT_EQ(OpenError(m_cluster.UrlOf("locked")).kind, ArchiveError::Kind::LoginRefused);
    EXPECT_EQ(OpenError(m_cluster.UrlOf("bob")).kind, ArchiveError::Kind::PermissionDenied);
    const ArchiveError newerSchema = OpenError(m_cluster.UrlOf("tonvale", "newer"));
    EXPECT_EQ(newerSchema.kind, ArchiveError::Kind::NewerServer);
    EXPECT_TRUE(newerSchema.detail.contains("99")) << newerSchema.detail.toStdString();
    const ArchiveError foreign = OpenError(m_cluster.UrlOf("tonvale", "foreign_tables"));
    EXPECT_EQ(foreign.kind, ArchiveError::Kind::Foreign);
    EXPECT_EQ(foreign.detail, "downloads");
    MeasurementArchive noSchema(ParseArchiveLocation(m_cluster.Url() + "&schema=nowhere", nullptr).value());
    EXPECT_FALSE(noSchema.Open(MeasurementArchive::Purpose::Read));
    EXPECT_EQ(noSchema.LastError().kind, ArchiveError::Kind::NoSchema);

    // Over TCP: a server without SSL where the station requires it, and one that takes only SSL.
    const int port = FreeTcpPort();
    ASSERT_GT(port, 0);
    ASSERT_TRUE(m_cluster.Stop() && m_cluster.Start(port));
    const QString tcp = QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(port);
    const ArchiveError ssl = OpenError(tcp + "?sslmode=require");
    EXPECT_EQ(ssl.kind, ArchiveError::Kind::SslFailed);
    EXPECT_TRUE(ssl.detail.contains("SSL")) << ssl.detail.toStdString();
    ASSERT_TRUE(m_cluster.SetClientAuthentication({"hostssl all all 127.0.0.1/32 trust", "local all all trust"}));
    EXPECT_EQ(OpenError(tcp + "?sslmode=disable").kind, ArchiveError::Kind::SslFailed);
    // Each reason reads differently for the operator.
    QStringList reasons;
    for (ArchiveError::Kind kind :
         {ArchiveError::Kind::Unreachable, ArchiveError::Kind::AuthenticationFailed, ArchiveError::Kind::SslFailed,
          ArchiveError::Kind::LoginRefused, ArchiveError::Kind::PermissionDenied, ArchiveError::Kind::NewerServer,
          ArchiveError::Kind::NewerSchema, ArchiveError::Kind::Foreign})
        reasons << ArchiveError{kind, "x"}.Reason();
    reasons.removeDuplicates();
    EXPECT_EQ(reasons.size(), 8);
}

TEST_F(ArchivePostgres, ConnectionOptionsReachTheServerAsOneValueEach)
{
    MeasurementArchive archive(
        ParseArchiveLocation(m_cluster.Url() + "&application_name=line%202%20sslmode%3Drequire%20it's", nullptr)
            .value());
    ASSERT_TRUE(archive.Open()) << archive.LastError().detail.toStdString();
    QSqlQuery query(archive.Database());
    ASSERT_TRUE(query.exec("SELECT current_setting('application_name')") && query.next());
    EXPECT_EQ(query.value(0).toString(), "line 2 sslmode=require it's");
}

} // namespace
