#include "HourlyLogFile.h"
#include "PacketLogEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include <sys/stat.h>

// Failures show texts, not bytes.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {
// 2024-01-31 13:45:12 in Seoul.
constexpr qint64 kJan31_134512 = 1706676312;

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(PacketLogEntry, WrittenAndReadBuffersAsTheLogShowsThem)
{
    const uint8_t nameRequest[] = {0x02, 0x02, 0x31, 0x00, 0x31, 0x03};
    EXPECT_EQ(FormatPacketLogEntry(0, nameRequest, 6, kJan31_134512),
              "SEND-[2024-01-31 13:45:12] 02 02 31 00 31 03  (6 BYTE)");

    const uint8_t partial[] = {0x02, 0x07, 0x31};
    EXPECT_EQ(FormatPacketLogEntry(1, partial, 3, kJan31_134512), "RECV-[2024-01-31 13:45:12] 02 07 31  (3 BYTE)");
    // Any direction other than 0 is a read; upper-case hex for every byte value.
    const uint8_t high[] = {0xAB, 0xFF};
    EXPECT_EQ(FormatPacketLogEntry(7, high, 2, kJan31_134512), "RECV-[2024-01-31 13:45:12] AB FF  (2 BYTE)");
    // A read that brought nothing still gets its line.
    EXPECT_EQ(FormatPacketLogEntry(1, partial, 0, kJan31_134512), "RECV-[2024-01-31 13:45:12]  (0 BYTE)");
}

TEST(HourlyLogFile, EntriesOfOneHourShareAFileAndMidnightStartsANewDay)
{
    QTemporaryDir tmp;
    HourlyLogFile log(tmp.path() + "/Log");
    const qint64 lastSecond = 1706713199; // 2024-01-31 23:59:59
    ASSERT_TRUE(log.Append("first", lastSecond - 3599));
    ASSERT_TRUE(log.Append("second", lastSecond));
    ASSERT_TRUE(log.Append("third", lastSecond + 1));

    const QString before = tmp.path() + "/Log/2024-01-31/2024-01-31_23_LOG.log";
    const QString after = tmp.path() + "/Log/2024-02-01/2024-02-01_00_LOG.log";
    EXPECT_EQ(log.PathFor(lastSecond), before);
    EXPECT_EQ(ReadAll(before), "first\nsecond\n");
    EXPECT_EQ(ReadAll(after), "third\n");
}

TEST(HourlyLogFile, AFileThatCannotBeWrittenIsReportedAndTheNextEntryTriesAgain)
{
    QTemporaryDir tmp;
    const QString logDir = tmp.path() + "/Log";
    HourlyLogFile log(logDir);

    // The log directory is a plain file: no day directory can be made under it.
    QFile blocker(logDir);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(log.Append("lost", kJan31_134512));

    ASSERT_TRUE(QFile::remove(logDir));
    EXPECT_TRUE(log.Append("kept", kJan31_134512));
    EXPECT_EQ(ReadAll(log.PathFor(kJan31_134512)), "kept\n");
}

TEST(HourlyLogFile, ANamedPipeInPlaceOfTheFileDoesNotHoldTheWriter)
{
    QTemporaryDir tmp;
    HourlyLogFile log(tmp.path());
    const QString path = log.PathFor(kJan31_134512);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // Without a reader a blocking open would never return.
    EXPECT_FALSE(log.Append("entry", kJan31_134512));
}
