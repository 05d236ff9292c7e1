#include "RegularFile.h"

#include "NamedPipe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

class RegularFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

TEST_F(RegularFileTest, PipesDirectoriesAndMissingFilesAreRefusedAtOnce)
{
    const QString pipe = Path("pipe");
    ASSERT_TRUE(MakeNamedPipe(pipe));
    int forReading = 0, forAppending = 0;
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(pipe, [&] {
        forReading = RegularFile::Open(pipe, O_RDONLY);
        forAppending = RegularFile::Open(pipe, O_WRONLY | O_APPEND | O_CREAT);
    }));
    EXPECT_EQ(forReading, -1);
    EXPECT_EQ(forAppending, -1);

    QFile file(pipe);
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(pipe, [&] { EXPECT_FALSE(RegularFile::OpenForReading(file)); }));
    EXPECT_FALSE(file.isOpen());

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_EQ(RegularFile::Open(Path("folder"), O_RDONLY), -1);
    EXPECT_EQ(RegularFile::Open(Path("missing"), O_RDONLY), -1);
    EXPECT_EQ(RegularFile::Open(QString(), O_RDONLY), -1);
}

TEST_F(RegularFileTest, OrdinaryFilesAndLinksToThemOpenAsAsked)
{
    QFile file(Path("help.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first\n");
    file.close();
    ASSERT_TRUE(QFile::link(file.fileName(), Path("link")));

    QFile reader(Path("link"));
    ASSERT_TRUE(RegularFile::OpenForReading(reader));
    EXPECT_EQ(reader.readAll(), QByteArray("first\n"));

    // Appending adds at the end, creates a missing file, and leaves no non-blocking mode behind.
    for (const char *name : {"help.dat", "new.log"}) {
        const int fd = RegularFile::Open(Path(name), O_WRONLY | O_APPEND | O_CREAT);
        ASSERT_GE(fd, 0) << name;
        EXPECT_EQ(::fcntl(fd, F_GETFL) & (O_NONBLOCK | O_APPEND), O_APPEND);
        EXPECT_EQ(::write(fd, "more\n", 5), 5);
        ::close(fd);
    }
    QFile check(Path("help.dat"));
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("first\nmore\n"));
    EXPECT_EQ(QFile(Path("new.log")).size(), 5);
}

} // namespace
