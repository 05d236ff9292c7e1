#include "CrashDump.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

// Runs a copy of the crash helper from dir, so that its Dmp lands there.
struct CrashRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    qint64 before = 0, after = 0;
};

CrashRun RunHelper(const QString &dir, const QStringList &arguments)
{
    const QString exe = dir + "/Press";
    if (!QFile::exists(exe))
        QFile::copy(CRASH_HELPER, exe);
    CrashRun run;
    run.before = QDateTime::currentSecsSinceEpoch();
    QProcess process;
    process.start(exe, arguments);
    process.waitForFinished(60000);
    run.after = QDateTime::currentSecsSinceEpoch();
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    return run;
}

QStringList Dumps(const QString &dir)
{
    return QDir(dir + "/Dmp").entryList(QDir::Files, QDir::Name);
}

QString DumpNameAt(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString("yyyy-MM-dd_HH-mm-ss") + ".dmp";
}

// The dump is named after a local time between the start and the end of the run.
bool NamedForRun(const QString &name, const CrashRun &run)
{
    for (qint64 t = run.before; t <= run.after; ++t)
        if (name == DumpNameAt(t))
            return true;
    return false;
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(CrashDump, FileStemFollowsTheCalendar)
{
    char stem[32];
    CrashDump::FormatDumpStem(1715058189, 9 * 3600, stem); // 2024-05-07 14:03:09 in Seoul
    EXPECT_STREQ(stem, "2024-05-07_14-03-09");
    // Across leap days, century rules, year ends and negative offsets.
    const qint64 samples[] = {0, 951782400, 951868799, 4107542399, 4107542400, 1704067199, 1709164800, 2000000000};
    for (qint64 t : samples) {
        for (int offset : {-36000, -3600, 0, 19800, 32400, 50400}) {
            CrashDump::FormatDumpStem(t, offset, stem);
            const QString expected =
                QDateTime::fromSecsSinceEpoch(t, QTimeZone(offset)).toString("yyyy-MM-dd_HH-mm-ss");
            EXPECT_EQ(QString(stem), expected) << t << " " << offset;
        }
    }
}

TEST(CrashDump, SegmentationFaultLeavesOneDumpWithStackAndModulesAndExitsWithZero)
{
    QTemporaryDir tmp;
    const CrashRun run = RunHelper(tmp.path(), {"segv"});
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 0);
    const QStringList dumps = Dumps(tmp.path());
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.dmp$").match(dumps[0]).hasMatch());
    EXPECT_TRUE(NamedForRun(dumps[0], run)) << dumps[0].toStdString();

    const QByteArray dump = Read(tmp.path() + "/Dmp/" + dumps[0]);
    EXPECT_TRUE(dump.contains("signal: 11 SIGSEGV"));
    EXPECT_TRUE(dump.contains("fault address: 0x0000000000000008"));
    // The faulting function appears in the stack trace, and the executable among the modules.
    const qsizetype stack = dump.indexOf("stack trace:"), modules = dump.indexOf("loaded modules");
    ASSERT_GT(stack, 0);
    ASSERT_GT(modules, stack);
    EXPECT_GT(dump.indexOf("TonvaleCrashBySegv", stack), stack);
    EXPECT_LT(dump.indexOf("TonvaleCrashBySegv", stack), modules);
    EXPECT_GT(dump.indexOf((tmp.path() + "/Press").toUtf8(), modules), modules);
}

TEST(CrashDump, UncaughtExceptionAndAbortEndInTheSameHandler)
{
    QTemporaryDir tmp;
    const CrashRun thrown = RunHelper(tmp.path(), {"throw"});
    EXPECT_EQ(thrown.status, QProcess::NormalExit);
    EXPECT_EQ(thrown.exitCode, 0);
    QStringList dumps = Dumps(tmp.path());
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_TRUE(NamedForRun(dumps[0], thrown));
    const QByteArray dump = Read(tmp.path() + "/Dmp/" + dumps[0]);
    EXPECT_TRUE(dump.contains("uncaught C++ exception: std::runtime_error: bridge answered nonsense"));
    EXPECT_TRUE(dump.contains("TonvaleCrashByThrow"));

    QDir(tmp.path() + "/Dmp").removeRecursively();
    const CrashRun aborted = RunHelper(tmp.path(), {"abort"});
    EXPECT_EQ(aborted.exitCode, 0);
    dumps = Dumps(tmp.path());
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_TRUE(Read(tmp.path() + "/Dmp/" + dumps[0]).contains("signal: 6 SIGABRT"));
}

TEST(CrashDump, ACrashInTheSameSecondReplacesTheEarlierDump)
{
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("Dmp");
    // Earlier dumps, far longer than a real one, for every second the run may take.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QByteArray filler(512 * 1024, 'Z');
    for (qint64 t = now; t < now + 10; ++t) {
        QFile f(tmp.path() + "/Dmp/" + DumpNameAt(t));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(filler);
    }
    const CrashRun run = RunHelper(tmp.path(), {"segv"});
    ASSERT_LT(run.after, now + 10);
    EXPECT_EQ(Dumps(tmp.path()).size(), 10);
    int replaced = 0;
    for (qint64 t = now; t < now + 10; ++t) {
        const QByteArray content = Read(tmp.path() + "/Dmp/" + DumpNameAt(t));
        if (content.startsWith("Tonvale crash dump")) {
            ++replaced;
            EXPECT_FALSE(content.contains("ZZZZ")); // nothing of the old file is left
        }
    }
    EXPECT_EQ(replaced, 1);
}

TEST(CrashDump, ACrashBeforeTheConfigurationMadeDmpStillLeavesADump)
{
    QTemporaryDir tmp;
    const CrashRun run = RunHelper(tmp.path(), {"segv", "--before-config"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(QFile::exists(tmp.path() + "/Log"));
    EXPECT_EQ(Dumps(tmp.path()).size(), 1);
}
