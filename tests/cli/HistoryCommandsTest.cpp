#include "ArchiveCliSupport.h"
#include "MeasurementArchive.h"
#include "ToolOutput.h"
#include "report/XlrdReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QSqlQuery>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList Lines(const QString &text)
{
    return text.split('\n', Qt::SkipEmptyParts);
}

class HistoryCommands : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString Database() const { return "sqlite:" + Path("archive.sqlite"); }
    QTemporaryDir m_dir;
};

TEST_F(HistoryCommands, HistoryShowReproducesTheDownloadsTableAndWorkbook)
{
    const QString scenario = WriteFile(Path("s.json"), R"({"identity": {"serial": "SN-42", "version": "V2.0"},
        "stored": [{"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1},
                   {"time": "2024-05-01 10:00:01", "raw": 0, "setting": 3},
                   {"time": "2024-05-01 10:00:02", "raw": 65535, "setting": 2}],
        "continuous": {"average": 12340, "minimum": 12349, "maximum": 15000, "deviation": 35,
                       "records": [{"time": "2024-05-01 09:20:00", "raw": 1462, "setting": 1},
                                   {"time": "2024-05-01 09:20:01", "raw": 1471, "setting": 2}]}})");
    const QStringList report{"--company", "한국정밀프레스", "--report-name", "점검", "--author", "김"};
    const CliRun memory =
        RunCli(QStringList{"--simulate=" + scenario, "--virtual-time", "--database", Database(), "memory", "--from",
                           "2024-05-01", "--to", "2024-05-01", "--xls", Path("m.xls"), "--rows", "1,3"} +
               report);
    ASSERT_EQ(memory.exitCode, 0) << memory.err.toStdString();
    EXPECT_EQ(Lines(memory.err), QStringList{"엑셀 저장: " + Path("m.xls")});
    const CliRun output = RunCli(QStringList{"--simulate=" + scenario, "--virtual-time", "--database=" + Database(),
                                             "output", "--xls", Path("o.xls")} +
                                 report);
    ASSERT_EQ(output.exitCode, 0) << output.err.toStdString();

    const CliRun history = RunCli({"--database", Database(), "history"});
    ASSERT_EQ(history.exitCode, 0) << history.err.toStdString();
    const QStringList lines = Lines(history.out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "id\tinstrument\tstarted\tmode\trows\tresult\tcomplete\tdamaged");
    EXPECT_TRUE(lines[1].startsWith("2\tSN-42\t")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("\tOUTPUT\t2\t0\t1\t0"));
    EXPECT_TRUE(lines[2].endsWith("\tMEMORY\t3\t0\t1\t0"));
    EXPECT_EQ(Lines(RunCli({"--database", Database(), "history", "--instrument", "OTHER"}).out).size(), 1);
    EXPECT_EQ(
        Lines(RunCli({"--database", Database(), "history", "--from", "2000-01-01", "--to", "2000-01-02"}).out).size(),
        1);

    for (const auto &[id, ran, xls] : {std::tuple{"1", memory, "m"}, std::tuple{"2", output, "o"}}) {
        const QString again = Path(QString(xls) + "-again.xls");
        QStringList arguments{"--database", Database(), "history", "show", id, "--xls", again};
        if (QString(xls) == "m")
            arguments << "--rows"
                      << "1,3";
        const CliRun show = RunCli(arguments + report);
        ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
        EXPECT_EQ(show.out.toUtf8(), ran.out.toUtf8()); // byte for byte
        QString failure;
        const QJsonObject before = ReadWithXlrd(Path(QString(xls) + ".xls"), 0, &failure);
        const QJsonObject after = ReadWithXlrd(again, 0, &failure);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        EXPECT_EQ(before["texts"], after["texts"]);
        EXPECT_FALSE(before["texts"].toArray().isEmpty());
    }

    EXPECT_EQ(RunCli({"--database", Database(), "history", "show", "9"}).exitCode, 1);
    EXPECT_EQ(RunCli({"--database", Database(), "history", "show", "x"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--database", Database(), "history", "show", "2", "--rows", "1"}).exitCode, 2);
    EXPECT_EQ(RunCli({"--database", "postgresql://u:pw@h/d", "history"}).exitCode, 2);
}

TEST_F(HistoryCommands, InstrumentsWhoseIdentityBytesDifferStayApartAndTextsCannotBreakTheTable)
{
    // Serials whose bytes differ but decode alike (a byte code page 949 cannot decode; bytes after a zero),
    // and serials holding a tab, a line feed and a backslash.
    const QStringList serials{"50 46 80 31",          "50 46 FF 31", "50 46 31 00 20 39 39",
                              "50 46 31 00 20 38 38", "41 09 42",    "41 0A 42 5C"};
    for (int i = 0; i < serials.size(); ++i) {
        const QString scenario =
            WriteFile(Path(QStringLiteral("s%1.json").arg(i)), QStringLiteral(R"({"identity_hex": {"serial": "%1"},
                          "stored": [{"time": "2024-05-01 10:00:00", "raw": %2, "setting": 1}]})")
                                                                   .arg(serials[i])
                                                                   .arg(1000 + i)
                                                                   .toUtf8());
        const CliRun run = RunCli({"--simulate=" + scenario, "--virtual-time", "--database", Database(), "memory",
                                   "--from", "2024-05-01", "--to", "2024-05-01"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }
    const CliRun history = RunCli({"--database", Database(), "history"});
    ASSERT_EQ(history.exitCode, 0) << history.err.toStdString();
    const QStringList lines = Lines(history.out);
    ASSERT_EQ(lines.size(), 1 + serials.size());
    for (const QString &line : lines)
        EXPECT_EQ(line.count('\t'), 7) << line.toStdString();
    EXPECT_EQ(lines[1].section('\t', 1, 1), "A\\nB\\\\");
    EXPECT_EQ(lines[2].section('\t', 1, 1), "A\\tB");

    MeasurementArchive archive(ParseArchiveLocation(Database(), nullptr).value());
    ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
    QSqlQuery query(archive.Database());
    ASSERT_TRUE(query.exec("SELECT COUNT(*) FROM instruments") && query.next());
    EXPECT_EQ(query.value(0).toInt(), serials.size());
    // Each download keeps the bytes it was read with.
    const auto downloads = archive.ListDownloads({});
    ASSERT_TRUE(downloads && downloads->size() == serials.size());
    for (int i = 0; i < serials.size(); ++i) {
        const QByteArray serial =
            downloads->at(serials.size() - 1 - i).identity.bytes[InstrumentIdentity::kSerialField];
        EXPECT_EQ(serial, QByteArray::fromHex(serials[i].toLatin1())) << serials[i].toStdString();
    }
}

TEST_F(HistoryCommands, NoArchiveWritesNothingAndAnArchiveNotMadeYetHoldsNothing)
{
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(2));
    const CliRun run = RunCli({"--simulate=" + scenario, "--virtual-time", "--no-archive", "--database", Database(),
                               "memory", "--from", "2024-05-01", "--to", "2024-05-01"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Lines(run.out).size(), 3);
    EXPECT_FALSE(QFile::exists(Path("archive.sqlite")));
    const CliRun history = RunCli({"--database", Database(), "history"});
    EXPECT_EQ(history.exitCode, 0);
    EXPECT_EQ(Lines(history.err), QStringList{"아직 보관된 다운로드가 없습니다: " + Database()});
    EXPECT_EQ(Lines(history.out), QStringList{"id\tinstrument\tstarted\tmode\trows\tresult\tcomplete\tdamaged"});
    const CliRun show = RunCli({"--database", Database(), "history", "show", "1"});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_EQ(Lines(show.err), QStringList{"아직 보관된 다운로드가 없습니다: " + Database()});
    EXPECT_FALSE(QFile::exists(Path("archive.sqlite")));
}

// A name read that timed out and a download with a damaged record are both archived; history tells the
// incomplete one with its count, and its PDF and workbook say so.
TEST_F(HistoryCommands, AnUnreadNameOrADamagedRecordIsArchivedAndTheIncompleteDownloadSaysSo)
{
    const QString silentName = WriteFile(Path("silent.json"), R"({"identity": {"serial": "PF24050117"},
        "stored": [{"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1}],
        "faults": [{"kind": "silent", "command": "31", "occurrence": 1}]})");
    const QString damaged = WriteFile(Path("damaged.json"), R"({"identity": {"serial": "PF24050118"},
        "stored": [{"time": "2024-05-01 10:00:00", "raw": 1470, "setting": 1},
                   {"time": "2024-05-01 10:00:01", "raw": 0, "setting": 3},
                   {"time": "2024-05-01 10:00:02", "raw": 65535, "setting": 2}],
        "faults": [{"kind": "stored_bad_checksum", "index": 1}]})");
    const QStringList day{"memory", "--from", "2024-05-01", "--to", "2024-05-01"};
    const CliRun unread =
        RunCli(QStringList{"--simulate=" + silentName, "--virtual-time", "--database", Database()} + day);
    ASSERT_EQ(unread.exitCode, 0) << unread.err.toStdString();
    EXPECT_TRUE(unread.err.isEmpty()) << unread.err.toStdString();
    const CliRun broken = RunCli(QStringList{"--simulate=" + damaged, "--virtual-time", "--database", Database()} +
                                 day + QStringList{"--pdf", Path("d.pdf"), "--xls", Path("d.xls")});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(broken.err.contains("수신 중 손상된 데이터 1건은 제외되었습니다.")) << broken.err.toStdString();

    const QStringList lines = Lines(RunCli({"--database", Database(), "history"}).out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith("2\tPF24050118\t")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("\tMEMORY\t2\t0\t0\t1")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("1\tPF24050117\t")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith("\tMEMORY\t1\t0\t1\t0")) << lines[2].toStdString();
    {
        MeasurementArchive archive(ParseArchiveLocation(Database(), nullptr).value());
        ASSERT_TRUE(archive.Open(MeasurementArchive::Purpose::Read));
        const auto first = archive.LoadDownload(1);
        ASSERT_TRUE(first);
        EXPECT_TRUE(first->summary.identity.texts[0].isNull()); // the name was not read: unknown, not ""
    }

    // Any part of the serial, in either case.
    EXPECT_EQ(Lines(RunCli({"--database", Database(), "history", "--instrument", "pf2405"}).out).size(), 3);
    EXPECT_EQ(Lines(RunCli({"--database", Database(), "history", "--instrument=pf24050118"}).out).size(), 2);

    const QString expected = QStringLiteral("표가 완전하지 않음 (손상된 기록 1건 제외)");
    EXPECT_TRUE(ToolOutput("pdftotext", {Path("d.pdf"), "-"}).contains(expected));
    QString failure;
    const QJsonObject book = ReadWithXlrd(Path("d.xls"), 0, &failure);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    EXPECT_EQ(book["print"].toObject()["footer"].toString(), "&L" + expected + "&C&P / &N");
    // The archived download gives the same files again.
    const CliRun show = RunCli({"--database", Database(), "history", "show", "2", "--pdf", Path("again.pdf")});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    EXPECT_TRUE(ToolOutput("pdftotext", {Path("again.pdf"), "-"}).contains(expected));
}

// The command runs as the unprivileged user nobody when the tests run as root, so that file permissions
// hold for it; a copy of the program in `dir` (which nobody can reach wherever the build tree lies).
CliRun RunUnprivileged(const QString &dir, const QStringList &arguments)
{
    if (geteuid() != 0)
        return RunCli(arguments);
    const QString copy = CliCopyIn(dir); // kept when already there
    return RunProgram("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", copy} + arguments);
}

TEST_F(HistoryCommands, AReadOnlyOrCorruptArchiveIsToldOnceAndTheDownloadStillShows)
{
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(3));
    chmod(qPrintable(m_dir.path()), 0755);
    chmod(qPrintable(scenario), 0644);
    const QStringList download{
        "--simulate=" + scenario, "--virtual-time", "memory", "--from", "2024-05-01", "--to", "2024-05-01"};
    const CliRun fresh = RunCli(QStringList{"--database", Database()} + download);
    ASSERT_EQ(fresh.exitCode, 0) << fresh.err.toStdString();
    EXPECT_TRUE(fresh.err.isEmpty()) << fresh.err.toStdString();
    // The program's archive closed before the program ended: nothing is left in a write-ahead file.
    EXPECT_FALSE(QFileInfo::exists(Path("archive.sqlite-wal")));

    chmod(qPrintable(Path("archive.sqlite")), 0444);
    const CliRun readOnly = RunUnprivileged(m_dir.path(), QStringList{"--database", Database()} + download);
    EXPECT_EQ(readOnly.exitCode, 0);
    EXPECT_EQ(readOnly.out, fresh.out);
    // The Korean notice once, then the database's own text.
    const QStringList told = Lines(readOnly.err);
    ASSERT_EQ(told.size(), 2) << readOnly.err.toStdString();
    EXPECT_EQ(told[0], "측정 기록 보관 실패 - 보관 파일이 읽기 전용입니다: " + Database() +
                           ". 이번 다운로드는 보관되지 않았습니다. 받은 데이터는 그대로 표시됩니다.");
    EXPECT_TRUE(told[1].startsWith(QStringLiteral("  데이터베이스의 응답: ")) && told[1].contains("readonly"))
        << told[1].toStdString();
    // What was archived before can still be read.
    const CliRun earlier = RunUnprivileged(m_dir.path(), {"--database", Database(), "history"});
    EXPECT_EQ(Lines(earlier.out).size(), 2) << earlier.err.toStdString();

    const QString corrupt = WriteFile(Path("corrupt.sqlite"), QByteArray(4096, '\x5a'));
    const CliRun broken = RunCli(QStringList{"--database", "sqlite:" + corrupt} + download);
    EXPECT_EQ(broken.exitCode, 0);
    EXPECT_EQ(broken.out, fresh.out);
    ASSERT_EQ(Lines(broken.err).size(), 2) << broken.err.toStdString();
    EXPECT_TRUE(broken.err.startsWith("측정 기록 보관 실패 - 보관 파일이 손상되었습니다")) << broken.err.toStdString();
    const CliRun history = RunCli({"--database", "sqlite:" + corrupt, "history"});
    EXPECT_EQ(history.exitCode, 1);
    EXPECT_TRUE(history.err.startsWith("기록 읽기 실패 - 보관 파일이 손상되었습니다"));
}

TEST_F(HistoryCommands, AProcessKilledMidDownloadLeavesItsRecordsAndAnIncompleteDownload)
{
    constexpr int kRecords = 4000; // about five seconds on the line
    const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(kRecords));
    QProcess cli;
    cli.start(CliCopyIn(m_dir.path()), {"--simulate=" + scenario, "--database", Database(), "memory", "--from",
                                        "2024-05-01", "--to", "2024-05-01"});
    ASSERT_TRUE(cli.waitForStarted());

    MeasurementArchive archive(ParseArchiveLocation(Database(), nullptr).value());
    QElapsedTimer waited;
    waited.start();
    int committed = 0;
    while (committed == 0 && waited.elapsed() < 60000) {
        QThread::msleep(50);
        if (archive.IsOpen() || archive.Open(MeasurementArchive::Purpose::Read)) {
            const auto list = archive.ListDownloads({});
            committed = list && !list->isEmpty() ? list->first().rowCount : 0;
        }
    }
    ASSERT_GT(committed, 0);
    kill(pid_t(cli.processId()), SIGKILL);
    cli.waitForFinished();
    ASSERT_EQ(cli.exitStatus(), QProcess::CrashExit);

    const auto list = archive.ListDownloads({});
    ASSERT_TRUE(list && list->size() == 1);
    const DownloadSummary &download = list->first();
    EXPECT_FALSE(download.complete);
    EXPECT_FALSE(download.resultCode.has_value());
    EXPECT_FALSE(download.endedAt.has_value());
    EXPECT_LT(download.rowCount, kRecords);
    const auto records = archive.LoadDownload(download.id);
    ASSERT_TRUE(records);
    ASSERT_EQ(int(records->records.size()), download.rowCount);
    for (int i = 0; i < download.rowCount; ++i) {
        EXPECT_EQ(records->records[i].first, i);
        EXPECT_EQ(records->records[i].second[7] * 256 + records->records[i].second[8], 1000 + i);
    }
    const CliRun history = RunCli({"--database", Database(), "history"});
    EXPECT_TRUE(Lines(history.out).value(1).endsWith(QStringLiteral("\tMEMORY\t%1\t\t0\t0").arg(download.rowCount)));

    // The killed writer's last transactions are still in the write-ahead file: a reader that may not
    // write the archive reads them too.
    chmod(qPrintable(m_dir.path()), 0755);
    chmod(qPrintable(scenario), 0644);
    chmod(qPrintable(Path("archive.sqlite")), 0444);
    ASSERT_TRUE(QFileInfo::exists(Path("archive.sqlite-wal")));
    const CliRun readOnly = RunUnprivileged(m_dir.path(), {"--database", Database(), "history"});
    EXPECT_EQ(readOnly.out, history.out) << readOnly.err.toStdString();
}

} // namespace
