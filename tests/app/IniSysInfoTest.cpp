#include "CIniSysInfo.h"
#include "IniFile.h"
#include "NamedPipe.h"
#include "UnwritableFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(IniSysInfo, ExecutableNamedPressUsesPressIniAndCreatesLogAndDmpBesideIt)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path();
    WriteBytes(dir + "/Press.ini", "[REPORT]\nCOMPANY=대한프레스\nREPORT_NAME=월간 점검\nUSER_NAME=김철수\n");

    CIniSysInfo info;
    info.SetExecutablePath(dir + "/Press");
    info.Load();
    EXPECT_EQ(info.exeDir, dir);
    EXPECT_EQ(info.dataDir, dir);
    EXPECT_EQ(info.iniPath, dir + "/Press.ini");
    EXPECT_EQ(info.logDir, dir + "/Log/");
    EXPECT_EQ(info.dumpDir, dir + "/Dmp/");
    EXPECT_TRUE(QFileInfo(dir + "/Log").isDir());
    EXPECT_TRUE(QFileInfo(dir + "/Dmp").isDir());
    EXPECT_EQ(info.company, QString("대한프레스"));
    EXPECT_EQ(info.reportName, QString("월간 점검"));
    EXPECT_EQ(info.userName, QString("김철수"));

    // A Windows-style name keeps its base name; a second start leaves Log and Dmp as they are.
    WriteBytes(dir + "/Log/2024-05-07.log", "kept");
    CIniSysInfo again;
    again.SetExecutablePath(dir + "/Press.exe");
    again.Load();
    EXPECT_EQ(again.iniPath, dir + "/Press.ini");
    EXPECT_EQ(again.company, QString("대한프레스"));
    EXPECT_EQ(ReadBytes(dir + "/Log/2024-05-07.log"), QByteArray("kept"));
}

TEST(IniSysInfo, MissingOrUnreadableIniGivesEmptyTextsAndFirstSaveCreatesTheSection)
{
    QTemporaryDir tmp;
    CIniSysInfo info;
    info.SetExecutablePath(tmp.path() + "/tonvale");
    info.Load();
    EXPECT_TRUE(info.company.isEmpty() && info.reportName.isEmpty() && info.userName.isEmpty());
    EXPECT_EQ(info.iniPath, tmp.path() + "/tonvale.ini");

    info.company = "ACME";
    ASSERT_TRUE(info.Save());
    EXPECT_EQ(ReadBytes(info.iniPath), QByteArray("[REPORT]\nCOMPANY=ACME\nREPORT_NAME=\nUSER_NAME=\n"));

    // A directory where the INI file should be cannot be read: the texts stay empty.
    QTemporaryDir other;
    QDir(other.path()).mkdir("Press.ini");
    CIniSysInfo blocked;
    blocked.SetExecutablePath(other.path() + "/Press");
    blocked.Load();
    EXPECT_TRUE(blocked.company.isEmpty());
    EXPECT_FALSE(blocked.Save());
}

TEST(IniSysInfo, UnwritableExecutableDirectoryFallsBackToTheUserDirectory)
{
    QTemporaryDir exeDir, userDir;
    WriteBytes(exeDir.path() + "/help.dat", "help");
    CIniSysInfo info;
    info.SetExecutablePath(exeDir.path() + "/Press");
    info.SetUserDataDir(userDir.path() + "/tonvale/");
    info.SetWritableCheck([&](const QString &dir) { return dir != exeDir.path(); });
    info.Load();
    EXPECT_EQ(info.exeDir, exeDir.path());
    EXPECT_EQ(info.iniPath, userDir.path() + "/tonvale/Press.ini");
    EXPECT_EQ(info.logDir, userDir.path() + "/tonvale/Log/");
    EXPECT_TRUE(QFileInfo(userDir.path() + "/tonvale/Dmp").isDir());
    EXPECT_FALSE(QFileInfo::exists(exeDir.path() + "/Log"));
    EXPECT_FALSE(QFileInfo::exists(exeDir.path() + "/Dmp"));
    // help.dat is read beside the executable first, then from the user directory.
    EXPECT_EQ(info.HelpFilePath(), exeDir.path() + "/help.dat");
    QFile::remove(exeDir.path() + "/help.dat");
    EXPECT_EQ(info.HelpFilePath(), userDir.path() + "/tonvale/help.dat");

    // The real check: nothing can be created below /proc, even as root.
    CIniSysInfo real;
    real.SetExecutablePath("/proc/no-such-dir/Press");
    real.SetUserDataDir(userDir.path() + "/real");
    real.Load();
    EXPECT_EQ(real.dataDir, userDir.path() + "/real");
    EXPECT_TRUE(QFileInfo(userDir.path() + "/real/Log").isDir());
}

// An installed program: <prefix>/bin is not writable, the package's notice is in <prefix>/share/tonvale, and
// a notice of the user's own takes its place.
TEST(IniSysInfo, InstalledProgramFindsThePackagedHelpNoticeUnlessTheUserHasOne)
{
    QTemporaryDir prefix, userDir;
    QDir(prefix.path()).mkpath("bin");
    QDir(prefix.path()).mkpath("share/tonvale");
    WriteBytes(prefix.path() + "/share/tonvale/help.dat", "packaged");
    CIniSysInfo info;
    info.SetExecutablePath(prefix.path() + "/bin/tonvale");
    info.SetUserDataDir(userDir.path());
    info.SetWritableCheck([&](const QString &dir) { return dir != prefix.path() + "/bin"; });
    info.Load();
    EXPECT_EQ(info.HelpFilePath(), prefix.path() + "/share/tonvale/help.dat");
    WriteBytes(userDir.path() + "/help.dat", "the user's own");
    EXPECT_EQ(info.HelpFilePath(), userDir.path() + "/help.dat");
    QFile::remove(userDir.path() + "/help.dat");
    QFile::remove(prefix.path() + "/share/tonvale/help.dat");
    EXPECT_EQ(info.HelpFilePath(), userDir.path() + "/help.dat"); // none anywhere: the built-in notice follows
}

TEST(IniSysInfo, AwkwardTextsRoundTripAndOtherContentOfTheFileSurvives)
{
    QTemporaryDir tmp;
    const QString ini = tmp.path() + "/Press.ini";
    WriteBytes(ini, "; written by hand\n[OTHER]\nCOMPANY=not this one\n\n[report]\nCOMPANY=old\nEXTRA=keep me\n");

    const QStringList texts = {
        "line one\nline two\r\nline three",
        "a=b;c [REPORT] \\n is not a newline",
        "  leading and trailing blanks  ",
        "\"quoted\"",
        "(주)한국정밀 🙂 tab\there",
        "[REPORT]",
        ";not a comment",
        "",
    };
    for (int i = 0; i + 2 < texts.size(); ++i) {
        CIniSysInfo writer;
        writer.SetExecutablePath(tmp.path() + "/Press");
        writer.Load();
        writer.company = texts[i];
        writer.reportName = texts[i + 1];
        writer.userName = texts[i + 2];
        ASSERT_TRUE(writer.Save());

        CIniSysInfo reader;
        reader.SetExecutablePath(tmp.path() + "/Press");
        reader.Load();
        EXPECT_EQ(reader.company, texts[i]);
        EXPECT_EQ(reader.reportName, texts[i + 1]);
        EXPECT_EQ(reader.userName, texts[i + 2]);
    }
    const QString text = QString::fromUtf8(ReadBytes(ini));
    EXPECT_TRUE(text.startsWith("; written by hand\n[OTHER]\nCOMPANY=not this one\n"));
    EXPECT_TRUE(text.contains("EXTRA=keep me\n"));
    EXPECT_EQ(text.count("COMPANY="), 2);
    EXPECT_EQ(text.count('['), 2 + 1); // two headers and the '[' of a text
}

TEST(IniSysInfo, LongTextsAreCutAtACharacterBoundary)
{
    EXPECT_EQ(CutAtCharacterBoundary(QString(200, QChar(0xD55C)), 127).size(), 127);
    // An emoji (a surrogate pair) across the limit is dropped whole.
    const QString emoji = QString(126, 'a') + QString::fromUtf8("🙂") + "b";
    EXPECT_EQ(CutAtCharacterBoundary(emoji, 127), QString(126, 'a'));
    // So is a letter whose combining mark would fall beyond it.
    const QString combining = QString(126, 'a') + QString::fromUtf8("e\u0301") + "b";
    EXPECT_EQ(CutAtCharacterBoundary(combining, 127), QString(126, 'a'));

    QTemporaryDir tmp;
    CIniSysInfo info;
    info.SetExecutablePath(tmp.path() + "/Press");
    info.Load();
    info.company = emoji;
    ASSERT_TRUE(info.Save());
    EXPECT_EQ(info.company, QString(126, 'a'));
    WriteBytes(info.iniPath, "[REPORT]\nUSER_NAME=" + QByteArray(300, 'x') + "\n");
    info.Load();
    EXPECT_EQ(info.userName, QString(127, 'x'));
}

TEST(IniSysInfo, ReadsAUtf16FileWithWindowsLineEnds)
{
    QTemporaryDir tmp;
    const QString text = QString::fromUtf8("[REPORT]\r\nCOMPANY = 한국 \r\nUSER_NAME=\"  홍길동 \"\r\n");
    QByteArray bytes("\xFF\xFE");
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    WriteBytes(tmp.path() + "/Press.ini", bytes);
    CIniSysInfo info;
    info.SetExecutablePath(tmp.path() + "/Press");
    info.Load();
    EXPECT_EQ(info.company, QString::fromUtf8("한국"));
    EXPECT_EQ(info.userName, QString::fromUtf8("  홍길동 "));
    // Rewriting keeps the file's encoding and line ends.
    info.reportName = "R";
    ASSERT_TRUE(info.Save());
    const QByteArray written = ReadBytes(info.iniPath);
    ASSERT_TRUE(written.startsWith("\xFF\xFE"));
    QStringDecoder decode(QStringDecoder::Utf16LE);
    EXPECT_TRUE(QString(decode(written.mid(2))).contains("REPORT_NAME=R\r\n"));
}

// A code-page file whose only Korean text is replaced by a word whose code-page bytes are also valid UTF-8
// ("튤" is C6 AB, which UTF-8 reads as "ƫ") would read back as other text: it is written as UTF-16 instead.
TEST(IniSysInfo, ACodePageRewriteThatWouldReadAsUtf8IsWrittenAsUtf16)
{
    QTemporaryDir tmp;
    WriteBytes(tmp.path() + "/Press.ini", "[REPORT]\r\nCOMPANY=\xC7\xD1\r\n");
    CIniSysInfo info;
    info.SetExecutablePath(tmp.path() + "/Press");
    info.Load();
    ASSERT_EQ(info.company, QString("한"));
    info.company = QString("튤");
    ASSERT_TRUE(info.Save());
    CIniSysInfo reread;
    reread.SetExecutablePath(tmp.path() + "/Press");
    reread.Load();
    EXPECT_EQ(reread.company, QString("튤"));
    EXPECT_TRUE(ReadBytes(info.iniPath).startsWith("\xFF\xFE"));
}

// The Windows program writes its INI file in code page 949. Such a file is read as Korean text and
// written back in code page 949, everything else in it kept byte for byte.
TEST(IniSysInfo, CodePage949FileOfTheWindowsProgramIsReadAndWrittenBackInIt)
{
    QTemporaryDir tmp;
    const QByteArray windows = "[REPORT]\r\nCOMPANY=\xB4\xEB\xC7\xD1\xC7\xC1\xB7\xB9\xBD\xBA\r\n"
                               "USER_NAME=\xB1\xE8\xC3\xB6\xBC\xF6\r\n; \xBC\xD5\xC0\xB8\xB7\xCE \xBE\xB4 "
                               "\xC1\xD6\xBC\xAE\r\n";
    WriteBytes(tmp.path() + "/Press.ini", windows);
    CIniSysInfo info;
    info.SetExecutablePath(tmp.path() + "/Press");
    info.Load();
    EXPECT_EQ(info.company, QString("대한프레스"));
    EXPECT_EQ(info.userName, QString("김철수"));

    info.reportName = "월간 점검";
    ASSERT_TRUE(info.Save());
    EXPECT_EQ(ReadBytes(info.iniPath), windows + "REPORT_NAME=\xBF\xF9\xB0\xA3 \xC1\xA1\xB0\xCB\r\n");

    // A text code page 949 cannot hold: the file turns UTF-16, which both programs read, and loses nothing.
    info.reportName = "점검 🙂";
    ASSERT_TRUE(info.Save());
    EXPECT_TRUE(ReadBytes(info.iniPath).startsWith("\xFF\xFE"));
    CIniSysInfo again;
    again.SetExecutablePath(tmp.path() + "/Press");
    again.Load();
    EXPECT_EQ(again.company, QString("대한프레스"));
    EXPECT_EQ(again.reportName, QString("점검 🙂"));

    // UTF-8, with or without a byte-order mark, stays as it was.
    for (const QByteArray &bom : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        WriteBytes(info.iniPath, bom + "[REPORT]\nCOMPANY=한빛\n");
        CIniSysInfo utf8;
        utf8.SetExecutablePath(tmp.path() + "/Press");
        utf8.Load();
        EXPECT_EQ(utf8.company, QString("한빛"));
        ASSERT_TRUE(utf8.Save());
        EXPECT_EQ(ReadBytes(info.iniPath), bom + "[REPORT]\nCOMPANY=한빛\nREPORT_NAME=\nUSER_NAME=\n");
    }
}

// A save that cannot reach the disk leaves the old file byte for byte and says why.
class IniSaveFailure : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        folder = tmp.path() + "/folder";
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    // An INI file with texts in folder, loaded, with new texts ready to be saved.
    void PlaceIni(CIniSysInfo &info)
    {
        WriteBytes(folder + "/Press.ini", kOld);
        info.SetExecutablePath(folder + "/Press");
        info.SetWritableCheck([](const QString &) { return true; });
        info.Load();
        info.company = QString(100, QChar(0xD55C));
        info.reportName = "새 보고서";
    }
    void ExpectKeptAndReported(CIniSysInfo &info)
    {
        QString error;
        EXPECT_FALSE(info.Save(&error));
        EXPECT_TRUE(error.startsWith("설정 파일을 저장할 수 없습니다: " + folder + "/Press.ini ("))
            << error.toStdString();
        EXPECT_EQ(ReadBytes(folder + "/Press.ini"), kOld);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).filter("Press.ini"), QStringList{"Press.ini"});
    }

    const QByteArray kOld = "[REPORT]\nCOMPANY=대한프레스\nREPORT_NAME=월간 점검\nUSER_NAME=김철수\n";
    QTemporaryDir tmp;
    QString folder;
};

TEST_F(IniSaveFailure, FullDisk)
{
    SmallDisk disk(folder);
    if (!disk.Mounted())
        GTEST_SKIP() << "a full disk needs a small tmpfs, and only root may mount one";
    CIniSysInfo info;
    PlaceIni(info);
    ASSERT_TRUE(disk.Fill());
    ExpectKeptAndReported(info);

    // With room again the same save goes through.
    disk.Free();
    ASSERT_TRUE(info.Save());
    EXPECT_TRUE(QString::fromUtf8(ReadBytes(folder + "/Press.ini")).contains("REPORT_NAME=새 보고서\n"));
}

TEST_F(IniSaveFailure, ReadOnlyFolder)
{
    CIniSysInfo info;
    PlaceIni(info);
    ReadOnlyFolder readOnly(folder);
    ASSERT_TRUE(readOnly.Ok());
    ExpectKeptAndReported(info);
}

// A named pipe where the INI file should be is neither waited on nor replaced by a file.
TEST_F(IniSaveFailure, PipeInPlaceOfTheFile)
{
    const QString ini = folder + "/Press.ini";
    ASSERT_TRUE(MakeNamedPipe(ini));
    CIniSysInfo info;
    info.SetExecutablePath(folder + "/Press");
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(ini, [&] { info.Load(); }));
    EXPECT_TRUE(info.company.isEmpty());
    info.company = "ACME";
    bool saved = true;
    QString error;
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(ini, [&] { saved = info.Save(&error); }));
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo(ini).isFile());
}

// Both programs keep their files in the same per-user folder when their own folder is not writable,
// whatever name the running program gives itself (the command-line tool calls itself tonvale-cli).
TEST(IniSysInfo, InstalledProgramsShareTheUserFolder)
{
    QTemporaryDir exeDir;
    const QString shared = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/tonvale";
    const QString before = QCoreApplication::applicationName();
    for (const QString &name : {QStringLiteral("tonvale"), QStringLiteral("tonvale-cli")}) {
        QCoreApplication::setApplicationName(name);
        CIniSysInfo info;
        info.SetExecutablePath(exeDir.path() + "/tonvale");
        info.SetWritableCheck([](const QString &) { return false; });
        info.ResolvePaths();
        EXPECT_EQ(info.iniPath, shared + "/tonvale.ini") << name.toStdString();
    }
    QCoreApplication::setApplicationName(before);
}

TEST(IniFile, StrayCarriageReturnsBeforeALineBreakSurviveEverySave)
{
    // A value of another program that ends with a CR, in a file with LF line ends, and a file whose
    // last line ends with a lone CR: saving twice changes neither.
    const QList<QPair<QString, QString>> texts = {{"COMPANY", "new"}};
    for (const QString &text : {QStringLiteral("[OTHER]\nNOTE=typed elsewhere\r\r\n[REPORT]\nCOMPANY=old\n"),
                                QStringLiteral("[OTHER]\nNOTE=typed elsewhere\r\r")}) {
        const QString once = IniFile::WithValues(text, "REPORT", texts);
        const QString twice = IniFile::WithValues(once, "REPORT", texts);
        EXPECT_EQ(IniFile::FindValue(once, "OTHER", "NOTE"), QStringLiteral("typed elsewhere\r"));
        EXPECT_EQ(IniFile::FindValue(twice, "OTHER", "NOTE"), QStringLiteral("typed elsewhere\r"));
        EXPECT_EQ(IniFile::FindValue(twice, "REPORT", "COMPANY"), QStringLiteral("new"));
    }
}

TEST(IniSysInfo, CreateDirectoryPathCreatesOnlyComponentsFollowedByASlash)
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    EXPECT_TRUE(CIniSysInfo::CreateDirectoryPath(root + "/a/b/c/"));
    EXPECT_TRUE(QFileInfo(root + "/a/b/c").isDir());
    // Partly existing: a/b exists, x is created, the last component without '/' is not.
    EXPECT_TRUE(CIniSysInfo::CreateDirectoryPath(root + "/a/b/x/y"));
    EXPECT_TRUE(QFileInfo(root + "/a/b/x").isDir());
    EXPECT_FALSE(QFileInfo::exists(root + "/a/b/x/y"));
    EXPECT_FALSE(CIniSysInfo::CreateDirectoryPath(QString()));
    // A file in the way stops it.
    WriteBytes(root + "/file", "x");
    EXPECT_FALSE(CIniSysInfo::CreateDirectoryPath(root + "/file/sub/"));
    EXPECT_FALSE(CIniSysInfo::CreateDirectoryPath("/proc/no-such-dir/Log/"));
}
