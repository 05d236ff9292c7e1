#include "PressRegister.h"
#include "ArchiveTestSupport.h"
#include "DueDates.h"
#include "LocalTime.h"
#include "MeasurementArchive.h"
#include "MeasurementRecord.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

qint64 Utc(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
}

// A raw force the grid shows as the given tenths of a ton.
int RawFor(int tenths)
{
    int raw = tenths * 9;
    while (StoredForceTenths(raw) != tenths)
        ++raw;
    return raw;
}

RawRecord RecordAt(const QString &time, int tenths, int setting = 0)
{
    RawRecord record{};
    MakeRawRecord(time, RawFor(tenths), setting, record);
    return record;
}

class PressRegisterTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_archive.Open()) << m_archive.LastError().detail.toStdString();
    }
    qint64 Download(const std::vector<RawRecord> &records)
    {
        const std::optional<DownloadHandle> handle =
            m_archive.BeginDownload(TestStart(TestIdentity("SN-P"), DownloadMode::Memory, 1714521600));
        EXPECT_TRUE(handle);
        std::vector<std::pair<int, RawRecord>> batch;
        for (size_t i = 0; i < records.size(); ++i)
            batch.emplace_back(int(i), records[i]);
        EXPECT_TRUE(m_archive.BeginBatch() && m_archive.AddStoredRecords(*handle, batch) &&
                    m_archive.FinishDownload(*handle, 1714521700, 0, int(records.size())) && m_archive.CommitBatch());
        return handle->downloadId;
    }
    PressCheck Assign(const QString &press, qint64 download, const QList<int> &rows)
    {
        const auto records = m_register.DownloadRecords(download, rows);
        EXPECT_TRUE(records) << m_register.Failure().toStdString();
        const auto result = m_register.Assign(press, records.value_or(std::vector<RegisterRecord>{}), m_author);
        EXPECT_TRUE(result) << m_register.Failure().toStdString();
        return result ? result->check : PressCheck{};
    }

    QTemporaryDir m_dir;
    MeasurementArchive m_archive{ParseArchiveLocation("sqlite:" + m_dir.filePath("a.sqlite"), nullptr).value()};
    PressRegister m_register{m_archive};
    CheckAuthor m_author{"kim", "station-1", {}, 1714521600};
};

TEST(DueDates, CountLocalCalendarDaysAcrossMonthEnds)
{
    // 2024-01-31 00:30 KST is still January 30th in UTC; 23:30 KST on March 1st is March 1st in both.
    const qint64 lastCheck = Utc(2024, 1, 30, 15, 30);
    DueDate due = DueDateOf(lastCheck, 30, Utc(2024, 3, 1, 14, 30));
    EXPECT_EQ(due.due, QDate(2024, 3, 1)); // 2024 is a leap year: January 31st + 30 days
    EXPECT_EQ(due.state, DueState::DueSoon);
    EXPECT_EQ(due.daysLeft, 0);
    // 00:30 KST on March 2nd: the day after the due date, though UTC still says March 1st.
    due = DueDateOf(lastCheck, 30, Utc(2024, 3, 1, 15, 30));
    EXPECT_EQ(due.state, DueState::Overdue);
    EXPECT_EQ(due.daysLeft, -1);
    // A check at 23:30 KST on April 30th, interval 1: due May 1st; "now" at 00:30 KST May 1st is due today.
    due = DueDateOf(Utc(2024, 4, 30, 14, 30), 1, Utc(2024, 4, 30, 15, 30));
    EXPECT_EQ(due.due, QDate(2024, 5, 1));
    EXPECT_EQ(due.daysLeft, 0);
    // Due in 8 days is on time, in 7 days soon; never checked is due today.
    EXPECT_EQ(DueDateOf(Utc(2024, 12, 31, 3, 0), 8, Utc(2024, 12, 31, 3, 0)).state, DueState::OnTime);
    EXPECT_EQ(DueDateOf(Utc(2024, 12, 31, 3, 0), 7, Utc(2024, 12, 31, 3, 0)).state, DueState::DueSoon);
    due = DueDateOf(std::nullopt, 30, Utc(2024, 12, 31, 15, 30));
    EXPECT_EQ(due.due, QDate(2025, 1, 1));
    EXPECT_EQ(due.state, DueState::DueSoon);
}

TEST_F(PressRegisterTest, CapabilityOverTheLatestTenChecksMatchesAHandComputation)
{
    Press press{"P-07", "7호기", "A", 0, 30, ForceRange{80, 140}, true};
    ASSERT_TRUE(m_register.AddPress(press)) << m_register.Failure().toStdString();
    // The oldest check (a 50-ton outlier) is the 11th from the latest and stays out.
    std::vector<RawRecord> records{RecordAt("2024-04-01 08:00:00", 500)};
    for (int i = 0; i < 10; ++i)
        records.push_back(
            RecordAt(QStringLiteral("2024-04-%1 08:00:00").arg(2 + i, 2, 10, QLatin1Char('0')), 100 + 2 * i));
    const qint64 download = Download(records);
    for (int row = 1; row <= 11; ++row)
        Assign("P-07", download, {row});
    const auto forces = m_register.ForcesOfLatestChecks("P-07", 10);
    ASSERT_TRUE(forces);
    const std::optional<Capability> capability = ComputeCapability(*forces, *press.range);
    ASSERT_TRUE(capability);
    // By hand: forces 10.0, 10.2, ..., 11.8 t; mean 10.9; s = sqrt(3.30 / 9) = 0.60553; range 8.0..14.0.
    EXPECT_NEAR(capability->statistics.mean, 10.9, 1e-9);
    EXPECT_NEAR(capability->statistics.deviation, 0.60553, 1e-5);
    EXPECT_NEAR(capability->cp, 1.65145, 1e-5);
    EXPECT_NEAR(capability->cpk, 1.59640, 1e-5);
    EXPECT_TRUE(capability->Capable());
    // Nothing to measure a spread from: no capability rather than a division by zero.
    EXPECT_FALSE(ComputeCapability({120, 120, 120}, *press.range));
    EXPECT_FALSE(ComputeCapability({120}, *press.range));

    // The latest check is the last one measured, whatever order they were assigned in.
    const auto list = m_register.ListPresses(false);
    ASSERT_TRUE(list && list->size() == 1);
    EXPECT_EQ(LocalDateOf(*list->first().lastCheckAt), QDate(2024, 4, 11));
    // The window's path: records found by what they are give the same archive identity.
    const auto found = m_register.FindRecords(TestIdentity("SN-P"), {records[3], RecordAt("2030-01-01 00:00:00", 1)});
    ASSERT_TRUE(found && found->size() == 1);
    EXPECT_EQ(found->front().recordId, m_register.DownloadRecords(download, {4})->front().recordId);
}

TEST_F(PressRegisterTest, MovedRecordsLeaveTheirOldCheckJudgedAgain)
{
    ASSERT_TRUE(m_register.AddPress({"P-1", "one", "", 0, 30, ForceRange{100, 130}, true}));
    ASSERT_TRUE(m_register.AddPress({"P-2", "two", "", 0, 30, ForceRange{100, 140}, true}));
    const qint64 download = Download({RecordAt("2024-05-01 09:00:00", 100), RecordAt("2024-05-01 09:00:01", 135),
                                      RecordAt("2024-05-01 09:00:02", 120)});
    const PressCheck first = Assign("P-1", download, {});
    EXPECT_EQ(first.verdict, Verdict::Fail);
    const auto questions = m_register.Questions("P-2", *m_register.DownloadRecords(download, {2}));
    ASSERT_TRUE(questions);
    EXPECT_EQ(questions->recordsElsewhere, 1);
    Assign("P-2", download, {2});
    // P-1's check lost its 13.5-ton record: it passes now, with the statistics of what it still holds.
    const auto checks = m_register.Checks("P-1");
    ASSERT_TRUE(checks && checks->size() == 1);
    EXPECT_EQ(checks->first().id, first.id);
    EXPECT_EQ(checks->first().statistics.count, 2);
    EXPECT_DOUBLE_EQ(checks->first().statistics.mean, 11.0);
    EXPECT_EQ(checks->first().verdict, Verdict::Pass);
    // Moving every record away removes the check rather than leaving an empty one.
    Assign("P-2", download, {1, 3});
    EXPECT_TRUE(m_register.Checks("P-1")->isEmpty());

    // A retired press keeps its history, leaves the list and takes no new check.
    ASSERT_TRUE(m_register.RetirePress("P-2"));
    EXPECT_EQ(m_register.ListPresses(false)->size(), 1);
    EXPECT_EQ(m_register.ListPresses(true)->size(), 2);
    EXPECT_EQ(m_register.Checks("P-2")->size(), 2);
    EXPECT_FALSE(m_register.Assign("P-2", *m_register.DownloadRecords(download, {1}), m_author));
    EXPECT_FALSE(m_register.Failure().isEmpty());
}

TEST(PressRegisterMigration, AFirstVersionArchiveGetsTheRegisterAndCountsARecordOfTwoDownloadsOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("v1.sqlite");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "press-v1");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(MigrateArchive(db, SqlDialect::Sqlite, 1).ok);
        QSqlQuery q(db);
        for (const char *sql :
             {"INSERT INTO instruments (id, instrument_key, serial) VALUES (1, 'S:OLD-1', 'OLD-1')",
              "INSERT INTO identities VALUES (1, 1, 'PM-15', '-', '-', '-', 'OLD-1', '-', '-', 'V0.9')",
              "INSERT INTO downloads (id, instrument_id, identity_id, host, os_user, started_at, ended_at, mode,"
              " range_from, range_to, result_code, row_count, complete) VALUES"
              " (1, 1, 1, 'pc', 'kim', 100, 110, 'MEMORY', 0, 100, 0, 2, 1),"
              " (2, 1, 1, 'pc', 'kim', 200, 210, 'MEMORY', 0, 200, 0, 1, 1)",
              "INSERT INTO stored_records VALUES (1, 1, '2024-05-01 10:00:00', 1470, 1),"
              " (2, 1, '2024-05-01 10:00:05', 1480, 1)",
              "INSERT INTO download_records VALUES (1, 0, 1), (1, 1, 2), (2, 0, 2)"})
            ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase("press-v1");

    MeasurementArchive archive(ParseArchiveLocation("sqlite:" + path, nullptr).value());
    ASSERT_TRUE(archive.Open()) << archive.LastError().detail.toStdString();
    PressRegister presses(archive);
    ASSERT_TRUE(presses.AddPress({"P-15", "15톤 프레스", "", 1, 30, std::nullopt, true}))
        << presses.Failure().toStdString();
    EXPECT_FALSE(presses.AddPress({"P-15", "again", "", 1, 30, std::nullopt, true}));
    PressClassLimits limits;
    limits.SetRange(1, ForceRange{150, 151});
    const CheckAuthor author{"kim", "pc", limits, 300};
    // The second record, held by both downloads: assigned from the second download it is that check again.
    const auto both = presses.Assign("P-15", *presses.DownloadRecords(1), author);
    ASSERT_TRUE(both) << presses.Failure().toStdString();
    // 15.0 and 15.1 t as the grid shows them: on both edges of the class limits of the station.
    EXPECT_EQ(both->check.verdict, Verdict::Pass);
    const auto only = presses.DownloadRecords(2);
    ASSERT_TRUE(only && only->size() == 1);
    EXPECT_EQ(presses.Questions("P-15", *only)->recordsElsewhere, 1);
    const auto moved = presses.Assign("P-15", *only, author);
    ASSERT_TRUE(moved);
    EXPECT_FALSE(moved->alreadyAssigned);
    const auto again = presses.Assign("P-15", *presses.DownloadRecords(2), author);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->alreadyAssigned);
    EXPECT_EQ(again->check.id, moved->check.id);
    const auto checks = presses.Checks("P-15");
    ASSERT_TRUE(checks);
    int records = 0;
    for (const PressCheck &check : *checks)
        records += check.statistics.count;
    EXPECT_EQ(records, 2);
}

} // namespace
