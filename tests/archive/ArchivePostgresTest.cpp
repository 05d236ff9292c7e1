#include "ArchiveSync.h"
#include "ArchiveTestSupport.h"
#include "DownloadReplay.h"
#include "MeasurementArchive.h"
#include "PostgresCluster.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

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
    PostgresCluster m_cluster;
    ArchiveLocation m_server;
    QTemporaryDir m_dir;
};

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
    FillRecordSheets(*download, rebuilt);
    EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid.grid));
}

TEST_F(ArchivePostgres, AnUnreachableServerSendsTheLocalCopyOnceItIsBack)
{
    TestGrid grid(DownloadMode::Memory);
    ArchiveSettings settings;
    settings.location = m_server;
    settings.local = DefaultArchiveLocation(m_dir.path());
    ASSERT_TRUE(m_cluster.Stop());
    {
        ArchivingLinkOwner owner(grid.sink, settings);
        const QStringList notices = ArchiveStoredDownload(
            owner, TestStart(TestIdentity("SN-5"), DownloadMode::Memory, 100), {TestRecord(0, 1), TestRecord(1, 2)});
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
}

} // namespace
