#include "ArchiveCliSupport.h"
#include "MeasurementArchive.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Several tonvale-cli processes writing one SQLite archive at once, as the window and the command line
// (or two command lines) of one PC do.
class ArchiveWriters : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString Database() const { return "sqlite:" + Path("archive.sqlite"); }

    QString StationFolder(int station) const { return Path(QStringLiteral("station%1").arg(station)); }

    // Starts one download of the scenario's records, the program in a folder of its own; into the shared
    // SQLite archive unless `database` says otherwise.
    std::unique_ptr<QProcess> StartDownload(const QString &scenario, bool virtualTime, QString database = {})
    {
        const QString folder = StationFolder(m_stations++);
        QDir().mkpath(folder);
        if (database.isEmpty())
            database = Database();
        QStringList arguments{
            "--simulate=" + scenario, "--database", database, "memory", "--from", "2024-05-01", "--to", "2024-05-01"};
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

// A server that takes the connection and never answers: the download goes on at the line's pace into the
// station's own archive, marked for the server, and the operator is told once.
TEST_F(ArchiveWriters, AServerThatNeverAnswersLeavesTheDownloadToTheLocalArchive)
{
    // Listening but never accepting: the system completes the connection and keeps what the client sends.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const QString server = QStringLiteral("postgresql://tonvale@127.0.0.1:%1/tonvale").arg(ntohs(address.sin_port));

    constexpr int kRecords = 3000;
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    const std::unique_ptr<QProcess> download = StartDownload(scenario, false, server);
    ASSERT_TRUE(download->waitForFinished(120000));
    ::close(listener);
    EXPECT_EQ(download->exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(download->readAllStandardOutput()).count('\n'), kRecords + 1);
    const QString local = StationFolder(0) + "/archive.sqlite";
    const QStringList told = QString::fromUtf8(download->readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    // The notice, and the database's own text after it.
    ASSERT_LE(told.size(), 2);
    ASSERT_GE(told.size(), 1);
    if (told.size() == 2)
        EXPECT_TRUE(told[1].startsWith("  데이터베이스의 응답: ")) << told[1].toStdString();
    EXPECT_TRUE(told[0].startsWith("기록 서버(" + server + ")에 연결할 수 없어")) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains(local));

    MeasurementArchive archive(ParseArchiveLocation("sqlite:" + local, nullptr).value());
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
    const auto pending = archive.PendingDownloads();
    ASSERT_TRUE(pending && pending->size() == 1);
    EXPECT_EQ(pending->first().location, server);
    const auto kept = archive.LoadDownload(pending->first().id);
    ASSERT_TRUE(kept);
    EXPECT_TRUE(kept->summary.complete);
    EXPECT_EQ(int(kept->records.size()), kRecords);
}

} // namespace
