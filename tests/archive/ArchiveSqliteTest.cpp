#include "ArchiveTestSupport.h"
#include "DownloadReplay.h"
#include "MeasurementArchive.h"
#include "MeasurementRecord.h"
#include "RecordTables.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

class ArchiveSqlite : public ::testing::Test {
  protected:
    ArchiveSettings Settings(int batchRecords = 500)
    {
        ArchiveSettings settings;
        settings.location = DefaultArchiveLocation(m_dir.path());
        settings.local = settings.location;
        settings.batchRecords = batchRecords;
        return settings;
    }
    qint64 Count(MeasurementArchive &archive, const QString &sql)
    {
        QSqlQuery query(archive.Database());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        return query.next() ? query.value(0).toLongLong() : -1;
    }
    QTemporaryDir m_dir;
};

TEST_F(ArchiveSqlite, StoredRecordsAreKeptOncePerInstrumentAndEachDownloadReplaysToTheSameRows)
{
    const InstrumentIdentity meter = TestIdentity(QStringLiteral("SN-100"));
    const std::vector<RawRecord> first{TestRecord(0, 1470, 1), TestRecord(1, 0, 3), TestRecord(2, 65535, 2),
                                       TestRecord(3, 980, 0)};
    std::vector<RawRecord> second(first.begin() + 1, first.end());
    second.push_back(TestRecord(4, 1234, 2));

    TestGrid grid1(DownloadMode::Memory), grid2(DownloadMode::Memory), other(DownloadMode::Memory);
    {
        ArchivingLinkOwner owner1(grid1.sink, Settings(3));
        EXPECT_EQ(ArchiveStoredDownload(owner1, TestStart(meter, DownloadMode::Memory, 1714600000), first),
                  QStringList());
        ArchivingLinkOwner owner2(grid2.sink, Settings(3));
        EXPECT_EQ(ArchiveStoredDownload(owner2, TestStart(meter, DownloadMode::Memory, 1714600100), second),
                  QStringList());
        // The same bytes from another instrument are that instrument's records.
        ArchivingLinkOwner owner3(other.sink, Settings(3));
        ArchiveStoredDownload(owner3, TestStart(TestIdentity("SN-200"), DownloadMode::Memory, 1714600200), {first[0]});
    }

    MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read)) << archive.LastError().detail.toStdString();
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM stored_records"), 6);
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM download_records"), 4 + 4 + 1);

    const auto list = archive.ListDownloads({QStringLiteral("SN-100"), {}, {}, -1});
    ASSERT_TRUE(list && list->size() == 2);
    EXPECT_EQ(list->at(0).startedAt, 1714600100); // newest first
    EXPECT_TRUE(list->at(0).complete);
    EXPECT_EQ(list->at(0).rowCount, 4);
    EXPECT_EQ(list->at(0).identity, meter);

    for (const auto &[summary, grid] : {std::pair{list->at(1), &grid1}, std::pair{list->at(0), &grid2}}) {
        const std::optional<ArchivedDownload> download = archive.LoadDownload(summary.id);
        ASSERT_TRUE(download);
        CSpreadSheet rebuilt;
        FillRecordSheets(ReplayedMeasurement(*download), rebuilt);
        EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid->Sheet()));
        EXPECT_EQ(rebuilt.GetRowCount(), 4);
    }
}

TEST_F(ArchiveSqlite, InstrumentsAreToldApartByTheirIdentityWhenTheSerialIsErased)
{
    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, Settings());
    const RawRecord record = TestRecord(0, 1470);
    // Two meters with erased serials but different load cells, and one meter before and after a firmware upload.
    ArchiveStoredDownload(owner, TestStart(TestIdentity("-", "LC15-A"), DownloadMode::Memory, 100), {record});
    ArchiveStoredDownload(owner, TestStart(TestIdentity("-", "LC15-B"), DownloadMode::Memory, 200), {record});
    ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-1", "LC15-A", "V1"), DownloadMode::Memory, 300), {record});
    ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-1", "LC15-A", "V2"), DownloadMode::Memory, 400), {record});

    MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
    ASSERT_TRUE(archive.Open());
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM instruments"), 3);
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM stored_records"), 3);
    const auto erased = archive.ListDownloads({QStringLiteral("-"), {}, {}, -1});
    ASSERT_TRUE(erased);
    ASSERT_EQ(erased->size(), 2);
    EXPECT_EQ(erased->at(0).identity.texts[1], "LC15-B");
    // Each download keeps the firmware it was read with.
    const auto upgraded = archive.ListDownloads({QStringLiteral("SN-1"), {}, {}, -1});
    ASSERT_TRUE(upgraded && upgraded->size() == 2);
    EXPECT_EQ(upgraded->at(0).identity.texts[7], "V2");
    EXPECT_EQ(upgraded->at(1).identity.texts[7], "V1");
    // Dates filter on the start time: [from, before).
    const auto window = archive.ListDownloads({QString(), 200, 400, -1});
    ASSERT_TRUE(window);
    ASSERT_EQ(window->size(), 2);
    EXPECT_EQ(window->at(0).startedAt, 300);
    EXPECT_EQ(window->at(1).startedAt, 200);
}

// A field the instrument did not answer for is unknown: the download is kept, the field reads back null
// (not ""), and downloads under the same partial identity share one identity row.
TEST_F(ArchiveSqlite, UnknownIdentityFieldsStayUnknownAndDamagedRecordsMakeADownloadIncomplete)
{
    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, Settings());
    InstrumentIdentity nameUnread = TestIdentity("PF24050117");
    nameUnread.texts[0] = QString();
    InstrumentIdentity nameEmpty = TestIdentity("PF24050117");
    nameEmpty.texts[0] = QStringLiteral("");
    const InstrumentIdentity nothingRead;
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(nameUnread, DownloadMode::Memory, 100), {TestRecord(0, 1)}),
              QStringList());
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(nameUnread, DownloadMode::Memory, 200), {TestRecord(1, 1)}),
              QStringList());
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(nameEmpty, DownloadMode::Memory, 300), {TestRecord(2, 1)}),
              QStringList());
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(nothingRead, DownloadMode::Memory, 400), {TestRecord(3, 1)}),
              QStringList());
    owner.BeginDownload(TestStart(TestIdentity("PF24050118"), DownloadMode::Memory, 500));
    owner.AddStoredRecordRow(0, TestRecord(4, 1).data());
    owner.FinishDownload(0, 1, 505, 2);
    owner.WaitForArchive();

    MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM identities WHERE name IS NULL"), 2);
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM identities"), 4);
    const auto list = archive.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 5);
    EXPECT_TRUE(list->at(4).identity.texts[0].isNull());
    EXPECT_EQ(list->at(4).identity.Serial(), "PF24050117");
    EXPECT_FALSE(list->at(2).identity.texts[0].isNull());
    EXPECT_TRUE(list->at(1).identity.Serial().isNull());
    for (int i = 1; i < 5; ++i)
        EXPECT_TRUE(list->at(i).complete && list->at(i).damaged == 0) << i;
    EXPECT_EQ(list->at(0).resultCode, 0);
    EXPECT_EQ(list->at(0).damaged, 2);
    EXPECT_FALSE(list->at(0).complete);
}

// The filter takes any part of the serial in either case, and its text is never a pattern.
TEST_F(ArchiveSqlite, TheSerialFilterMatchesAPartOfTheSerialInEitherCase)
{
    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, Settings());
    for (const char *serial : {"PF24050117", "PF24050118", "QX_9%1"})
        ArchiveStoredDownload(owner, TestStart(TestIdentity(serial), DownloadMode::Memory, 100), {TestRecord(0, 1)});
    MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
    const auto count = [&](const char *part) {
        const auto found = archive.ListDownloads({QString::fromLatin1(part), {}, {}, -1});
        return found ? found->size() : -1;
    };
    EXPECT_EQ(count("PF2405"), 2);
    EXPECT_EQ(count("pf24050117"), 1);
    EXPECT_EQ(count("0118"), 1);
    EXPECT_EQ(count("x_9%"), 1);
    EXPECT_EQ(count("%"), 1);
    EXPECT_EQ(count("F_4"), 0);
    EXPECT_EQ(count("PF240501170"), 0);
}

TEST_F(ArchiveSqlite, ContinuousRunKeepsItsSummaryAndRecordsInOrder)
{
    TestGrid grid(DownloadMode::Output);
    {
        ArchivingLinkOwner owner(grid.sink, Settings(2));
        owner.BeginDownload(TestStart(TestIdentity("SN-7"), DownloadMode::Output, 1000));
        const uint8_t summary[9] = {3, 0x30, 0x34, 0x30, 0x3D, 0x3A, 0x98, 0x00, 0x23};
        owner.SetContinuousSummary(summary);
        for (int i = 0; i < 3; ++i)
            owner.AddContinuousRecordRow(i, TestRecord(10 - i, 1460 + i, i).data());
        owner.FinishDownload(0, 3, 1001);
    }
    MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
    ASSERT_TRUE(archive.Open());
    const auto list = archive.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 1);
    EXPECT_EQ(list->at(0).mode, DownloadMode::Output);
    EXPECT_FALSE(list->at(0).rangeFrom.has_value());
    const std::optional<ArchivedDownload> download = archive.LoadDownload(list->at(0).id);
    ASSERT_TRUE(download && download->continuousSummary);
    CSpreadSheet rebuilt;
    FillRecordSheets(ReplayedMeasurement(*download), rebuilt);
    EXPECT_EQ(SheetTexts(rebuilt), SheetTexts(grid.Sheet()));
    EXPECT_EQ(rebuilt.GetRowCount(), 6);
}

TEST_F(ArchiveSqlite, ADownloadCutShortKeepsItsCommittedBatchesAndStaysIncomplete)
{
    TestGrid grid(DownloadMode::Memory);
    auto owner = std::make_unique<ArchivingLinkOwner>(grid.sink, Settings(4));
    owner->BeginDownload(TestStart(TestIdentity("SN-9"), DownloadMode::Memory, 5000));
    for (int i = 0; i < 10; ++i)
        owner->AddStoredRecordRow(i, TestRecord(i, 100 + i).data());

    // Another connection (the window while the command line downloads) sees two whole batches once the
    // archive's thread has written them.
    MeasurementArchive reader(DefaultArchiveLocation(m_dir.path()));
    QList<DownloadSummary> list;
    QElapsedTimer waited;
    waited.start();
    while ((list.isEmpty() || list.at(0).rowCount < 8) && waited.elapsed() < 30000) {
        QThread::msleep(10);
        if (reader.IsOpen() || reader.Open(MeasurementArchive::Purpose::Read))
            list = reader.ListDownloads({}).value_or(QList<DownloadSummary>());
    }
    ASSERT_EQ(list.size(), 1);
    EXPECT_FALSE(list.at(0).complete);
    EXPECT_FALSE(list.at(0).resultCode.has_value());
    EXPECT_EQ(list.at(0).rowCount, 8);
    EXPECT_EQ(reader.LoadDownload(list.at(0).id)->records.size(), 8u);

    // A download that fails is finished with its result and not complete.
    owner->FinishDownload(-1086, 10, 5010);
    owner->WaitForArchive();
    list = reader.ListDownloads({}).value_or(QList<DownloadSummary>());
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(0).resultCode, -1086);
    EXPECT_FALSE(list.at(0).complete);
    EXPECT_EQ(list.at(0).rowCount, 10);
    EXPECT_EQ(grid.Sheet().GetRowCount(), 10);
}

TEST_F(ArchiveSqlite, AnArchiveOfTheFirstSchemaVersionOpensAfterAMigration)
{
    const QString path = m_dir.filePath("v1.sqlite");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v1");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(MigrateArchive(db, SqlDialect::Sqlite, 1).ok);
        QSqlQuery q(db);
        for (const char *sql :
             {"INSERT INTO instruments (id, instrument_key, serial) VALUES (1, 'S:OLD-1', 'OLD-1')",
              "INSERT INTO identities VALUES (1, 1, 'PM-15', '-', '-', '-', 'OLD-1', '-', '-', 'V0.9')",
              "INSERT INTO downloads (id, instrument_id, identity_id, host, os_user, started_at, ended_at, mode,"
              " range_from, range_to, result_code, row_count, complete) VALUES"
              " (1, 1, 1, 'pc', 'kim', 100, 110, 'MEMORY', 0, 100, 0, 1, 1),"
              " (2, 1, 1, 'pc', 'kim', 200, 210, 'MEMORY', 0, 200, 0, 1, 1)",
              "INSERT INTO stored_records VALUES (1, 1, '2024-05-01 10:00:00', 1470, 1)",
              "INSERT INTO download_records VALUES (1, 0, 1), (2, 0, 1)"})
            ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        EXPECT_FALSE(q.exec("SELECT uid FROM downloads"));
        db.close();
    }
    QSqlDatabase::removeDatabase("v1");

    MeasurementArchive archive(ParseArchiveLocation("sqlite:" + path, nullptr).value());
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read)) << archive.LastError().detail.toStdString();
    EXPECT_EQ(Count(archive, "SELECT version FROM schema_version"), kArchiveSchemaVersion);
    EXPECT_EQ(Count(archive, "SELECT COUNT(DISTINCT uid) FROM downloads WHERE uid IS NOT NULL"), 2);
    const auto list = archive.ListDownloads({QStringLiteral("OLD-1"), {}, {}, -1});
    ASSERT_TRUE(list && list->size() == 2);
    const auto old = archive.LoadDownload(list->at(1).id);
    ASSERT_TRUE(old && old->records.size() == 1);
    EXPECT_EQ(StoredRecordTexts(old->records[0].second.data()).force, "15.0 톤");
    // The identities were rebuilt under the downloads that refer to them.
    EXPECT_EQ(old->summary.identity.texts[0], "PM-15");
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM pragma_foreign_key_check"), 0);
    EXPECT_EQ(Count(archive, "PRAGMA foreign_keys"), 1);

    // Downloads go on into the migrated archive, next to the old ones.
    TestGrid grid(DownloadMode::Memory);
    ArchiveSettings settings;
    settings.location = settings.local = archive.Location();
    ArchivingLinkOwner owner(grid.sink, settings);
    EXPECT_EQ(ArchiveStoredDownload(owner, TestStart(TestIdentity("OLD-1"), DownloadMode::Memory, 300),
                                    {TestRecord(0, 1470)}),
              QStringList());
    EXPECT_EQ(Count(archive, "SELECT COUNT(*) FROM stored_records"), 1);
}

TEST_F(ArchiveSqlite, ACorruptOrNewerArchiveGivesOneKoreanNoticeAndTheRowsStillShow)
{
    QFile corrupt(m_dir.filePath("archive.sqlite"));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write(QByteArray(8192, 'x'));
    corrupt.close();

    TestGrid grid(DownloadMode::Memory);
    ArchivingLinkOwner owner(grid.sink, Settings(2));
    const QStringList notices = ArchiveStoredDownload(owner, TestStart(TestIdentity("SN-1"), DownloadMode::Memory, 100),
                                                      {TestRecord(0, 1470), TestRecord(1, 1480), TestRecord(2, 1490)});
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("측정 기록 보관 실패 - 보관 파일이 손상되었습니다")) << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains(corrupt.fileName()));
    EXPECT_TRUE(notices[0].contains("이번 다운로드는 보관되지 않았습니다"));
    EXPECT_EQ(grid.Sheet().GetRowCount(), 3);
    EXPECT_EQ(owner.TakeNotices(), QStringList());

    // An archive written by a later version is left alone.
    const QString newer = m_dir.filePath("newer.sqlite");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "newer");
        db.setDatabaseName(newer);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("CREATE TABLE schema_version (version INTEGER NOT NULL)");
        QSqlQuery(db).exec("INSERT INTO schema_version VALUES (99)");
        db.close();
    }
    QSqlDatabase::removeDatabase("newer");
    MeasurementArchive archive(ParseArchiveLocation("sqlite:" + newer, nullptr).value());
    EXPECT_FALSE(archive.Open());
    EXPECT_EQ(archive.LastError().kind, ArchiveError::Kind::NewerSchema);
}

TEST_F(ArchiveSqlite, AnotherProgramsFileIsRefusedBeforeAnythingIsWrittenToIt)
{
    for (const char *table : {"CREATE TABLE notes (body TEXT)", "CREATE TABLE downloads (ticket TEXT)"}) {
        const QString path = m_dir.filePath(QStringLiteral("other-%1.db").arg(QString(table).section(' ', 2, 2)));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            ASSERT_TRUE(QSqlQuery(db).exec(table));
            db.close();
        }
        QSqlDatabase::removeDatabase("other");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        TestGrid grid(DownloadMode::Memory);
        ArchiveSettings settings;
        settings.location = settings.local = ParseArchiveLocation("sqlite:" + path, nullptr).value();
        {
            ArchivingLinkOwner owner(grid.sink, settings);
            const QStringList notices = ArchiveStoredDownload(
                owner, TestStart(TestIdentity("SN-1"), DownloadMode::Memory, 100), {TestRecord(0, 1470)});
            ASSERT_EQ(notices.size(), 1);
            EXPECT_TRUE(notices[0].startsWith(QStringLiteral("측정 기록 보관 실패 - 다른 프로그램의 표가 있어")))
                << notices[0].toStdString();
            MeasurementArchive reader(settings.location);
            EXPECT_FALSE(reader.Open(MeasurementArchive::Purpose::Read));
            EXPECT_EQ(reader.LastError().kind, ArchiveError::Kind::Foreign);
        }
        // Not a byte changed: no tables added, the journal mode as it was, no WAL beside it.
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), before) << table;
        EXPECT_FALSE(QFile::exists(path + "-wal"));
    }
}

TEST(ArchiveLocationTest, UrlsConfigurationAndDefault)
{
    QString error;
    auto socket = ParseArchiveLocation("postgresql://press@/plant?host=/run/pg&sslmode=disable", &error);
    ASSERT_TRUE(socket);
    EXPECT_EQ(socket->host, "/run/pg");
    EXPECT_EQ(socket->user, "press");
    EXPECT_EQ(socket->database, "plant");
    EXPECT_EQ(socket->ConnectOptions(), "sslmode='disable'");
    EXPECT_EQ(socket->Describe(), "postgresql://press@/plant?host=/run/pg");
    auto tcp = ParseArchiveLocation("postgresql://press@db.plant:6543/qa", &error);
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->port, 6543);
    EXPECT_EQ(tcp->Describe(), "postgresql://press@db.plant:6543/qa");

    // A password in any form is refused, and no error text shows it.
    for (const char *url :
         {"postgresql://press:secret@db/qa", "postgresql://press@db/qa?password=secret",
          "postgresql://press@db/qa?sslmode=require;password=secret",
          "postgresql://press@db/qa?sslmode=require%20password%3Dsecret",
          "postgresql://press@db/qa?application_name=a%20password=secret",
          "postgresql://press@db/qa?sslpassword=secret", "postgresql://press@db/qa?%70assword=secret",
          "postgresql://press:secret@db/qa?x=%zz", "postgresql://press@db/qa?sslmode=%2570assword%253Dsecret"}) {
        error.clear();
        EXPECT_FALSE(ParseArchiveLocation(url, &error)) << url;
        EXPECT_FALSE(error.isEmpty()) << url;
        EXPECT_FALSE(error.contains("secret")) << url << " " << error.toStdString();
        EXPECT_FALSE(MaskedUrl(url).contains("secret")) << url;
    }
    // Options libpq does not take from a station, and values that Qt's driver would split, are refused.
    EXPECT_FALSE(ParseArchiveLocation("postgresql://press@db/qa?options=-csearch_path%3Dx", &error));
    EXPECT_FALSE(ParseArchiveLocation("postgresql://press@db/qa?sslmode=require;host=evil", &error));
    EXPECT_FALSE(ParseArchiveLocation("postgresql://press@db/qa?port=5432x", &error));
    // A value with spaces, quotes and '=' stays one quoted value.
    auto quoted = ParseArchiveLocation("postgresql://press@db/qa?application_name=it's%20a%20b%3Dc%5C", &error);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->ConnectOptions(), "application_name='it\\'s a b=c\\\\'");
    EXPECT_EQ(ParseArchiveLocation("postgresql://press@db/qa?schema=alice", &error)->Describe(),
              "postgresql://press@db/qa?schema=alice");
    EXPECT_FALSE(ParseArchiveLocation("mysql://db/qa", &error));
    EXPECT_FALSE(ParseArchiveLocation("postgresql://db/", &error));

    EXPECT_EQ(ConfiguredArchiveLocation(std::nullopt, "/opt/t", &error)->sqlitePath, "/opt/t/archive.sqlite");
    EXPECT_EQ(
        ConfiguredArchiveLocation(QString("[ARCHIVE]\nDATABASE=sqlite:data/a.db\n"), "/opt/t", &error)->sqlitePath,
        "/opt/t/data/a.db");
    EXPECT_TRUE(
        ConfiguredArchiveLocation(QString("[ARCHIVE]\nDATABASE=postgresql://u@h/d\n"), "/opt/t", &error)->IsServer());
}

} // namespace
