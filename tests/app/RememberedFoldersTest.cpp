#include "IniFile.h"
#include "RememberedFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace RememberedFolders;

// Both folders live side by side with the report texts, and each survives the other's and the report's writes.
TEST(RememberedFolders, EachKeyKeepsItsFolderBesideTheRestOfTheFile)
{
    QTemporaryDir tmp;
    const QString ini = tmp.filePath("tonvale.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[REPORT]\nCOMPANY=한빛 프레스\n");
    }
    const QString exports = tmp.filePath("보고서 2026");
    const QString firmware = tmp.filePath("fw");
    ASSERT_TRUE(QDir().mkpath(exports));
    ASSERT_TRUE(QDir().mkpath(firmware));

    EXPECT_EQ(Folder(ini, kExportKey, "/fallback"), "/fallback");
    ASSERT_TRUE(RememberFolderOf(ini, kExportKey, exports + "/PF1_MEMORY_2026-12-07.xls"));
    ASSERT_TRUE(RememberFolderOf(ini, kFirmwareKey, firmware + "/image.bin"));
    EXPECT_EQ(Folder(ini, kExportKey, "/fallback"), exports);
    EXPECT_EQ(Folder(ini, kFirmwareKey, "/fallback"), firmware);

    const QString text = IniFile::ReadFile(ini).value_or(IniFile::Contents{}).text;
    EXPECT_EQ(IniFile::FindValue(text, "REPORT", "COMPANY").value_or(QString()), "한빛 프레스");
    EXPECT_EQ(IniFile::FindValue(text, "PATHS", "EXPORT_DIR").value_or(QString()), exports);
}

// A folder that is gone, a value that names a file, an unreadable or unnamed configuration: the fallback.
TEST(RememberedFolders, AFolderThatIsNoLongerThereFallsBack)
{
    QTemporaryDir tmp;
    const QString ini = tmp.filePath("tonvale.ini");
    const QString gone = tmp.filePath("usb-stick");
    ASSERT_TRUE(QDir().mkpath(gone));
    ASSERT_TRUE(RememberFolderOf(ini, kExportKey, gone + "/a.xls"));
    ASSERT_TRUE(QDir(gone).removeRecursively());
    EXPECT_EQ(Folder(ini, kExportKey, "/fallback"), "/fallback");

    ASSERT_TRUE(IniFile::WriteFile(ini, ("[PATHS]\nEXPORT_DIR=" + ini + "\n").toUtf8()));
    EXPECT_EQ(Folder(ini, kExportKey, "/fallback"), "/fallback");

    EXPECT_EQ(Folder(QString(), kExportKey, "/fallback"), "/fallback");
    EXPECT_FALSE(RememberFolderOf(QString(), kExportKey, tmp.filePath("a.xls")));
    EXPECT_FALSE(RememberFolderOf(tmp.filePath("no-such-dir/tonvale.ini"), kExportKey, tmp.filePath("a.xls")));
}
