#include "ArchiveCliSupport.h"
#include "MeasurementArchive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Several tonvale-cli processes writing one SQLite archive at once, as the window and the command line
// (or two command lines) of one PC do.
class ArchiveWriters : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString Database() const { return "sqlite:" + Path("archive.sqlite"); }

    // Starts one download of the scenario's records, the program in a folder of its own.
    std::unique_ptr<QProcess> StartDownload(const QString &scenario, bool virtualTime)
    {
        const QString folder = Path(QStringLiteral("station%1").arg(m_stations++));
        QDir().mkpath(folder);
        QStringList arguments{"--simulate=" + scenario, "--database", Database(), "memory", "--from", "2024-05-01",
                              "--to", "2024-05-01"};
        if (virtualTime)
            arguments.insert(1, "--virtual-time");
        auto process = std::make_unique<QProcess>();
        process->start(CliCopyIn(folder), arguments);
        return process;
    }

    // Every download was printed whole, told nothing on stderr and ended well.
    static void ExpectAllDownloaded(std::vector<std::unique_ptr<QProcess>> &processes, int records)
    {
        for (const auto &process : processes) {
            ASSERT_TRUE(process->waitForFinished(300000));
            EXPECT_EQ(process->exitCode(), 0);
            EXPECT_EQ(QString::fromUtf8(process->readAllStandardError()), QString());
            EXPECT_EQ(QString::fromUtf8(process->readAllStandardOutput()).count('\n'), records + 1);
        }
    }

    // The archive holds `downloads` complete downloads of every record, in order, and each record once.
    void ExpectArchived(int downloads, int records)
    {
        MeasurementArchive archive(ParseArchiveLocation(Database(), nullptr).value());
        ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
        const auto list = archive.ListDownloads({});
        ASSERT_TRUE(list);
        ASSERT_EQ(list->size(), downloads);
        for (const DownloadSummary &summary : *list) {
            EXPECT_TRUE(summary.complete);
            EXPECT_EQ(summary.rowCount, records);
            const auto download = archive.LoadDownload(summary.id);
            ASSERT_TRUE(download);
            ASSERT_EQ(int(download->records.size()), records);
            for (int i = 0; i < records; ++i)
                ASSERT_EQ(download->records[i].second[7] * 256 + download->records[i].second[8], 1000 + i) << i;
        }
        QSqlQuery count(archive.Database());
        ASSERT_TRUE(count.exec("SELECT COUNT(*) FROM stored_records") && count.next());
        EXPECT_EQ(count.value(0).toInt(), records);
    }

    QTemporaryDir m_dir;
    int m_stations = 0;
};

TEST_F(ArchiveWriters, ThreeDownloadsAtOnceIntoOneFileAllKeepEveryRecord)
{
    constexpr int kRecords = 10000;
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));

    // At the line's pace (about 13 s each): every writer's batches go in between the others'.
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 3; ++i)
        processes.push_back(StartDownload(scenario, false));
    ExpectAllDownloaded(processes, kRecords);
    ExpectArchived(3, kRecords);

    // As fast as the simulator sends: the writers contend for every batch.
    processes.clear();
    for (int i = 0; i < 3; ++i)
        processes.push_back(StartDownload(scenario, true));
    ExpectAllDownloaded(processes, kRecords);
    ExpectArchived(6, kRecords);
}

TEST_F(ArchiveWriters, ADownloadWhileAnotherProgramHoldsTheFileIsArchivedOnceItLetsGo)
{
    constexpr int kRecords = 2000;
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    // The archive exists; another program then takes its write lock and keeps it.
    std::vector<std::unique_ptr<QProcess>> processes;
    processes.push_back(StartDownload(WriteFile(Path("one.json"), ManyStoredRecords(1)), true));
    ASSERT_TRUE(processes.back()->waitForFinished(120000));
    processes.clear();
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(Path("archive.sqlite"));
        ASSERT_TRUE(holder.open());
        QSqlQuery lock(holder);
        ASSERT_TRUE(lock.exec("BEGIN IMMEDIATE")) << lock.lastError().text().toStdString();

        processes.push_back(StartDownload(scenario, true));
        // The program keeps the records it read and waits for the file.
        EXPECT_FALSE(processes.back()->waitForFinished(4000));
        ASSERT_TRUE(lock.exec("ROLLBACK"));
        lock = QSqlQuery();
        holder.close();
    }
    QSqlDatabase::removeDatabase("holder");
    ExpectAllDownloaded(processes, kRecords);

    MeasurementArchive archive(ParseArchiveLocation(Database(), nullptr).value());
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
    const auto list = archive.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 2);
    EXPECT_TRUE(list->first().complete);
    const auto download = archive.LoadDownload(list->first().id);
    ASSERT_TRUE(download);
    EXPECT_EQ(int(download->records.size()), kRecords);
}

} // namespace
