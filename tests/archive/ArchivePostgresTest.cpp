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
        FillRecordSheets(*download, rebuilt);
        EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid->grid));
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
    EXPECT_EQ(sent.failed, 0);
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

} // namespace
