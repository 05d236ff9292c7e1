#include "CIniSysInfo.h"

#include "IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSection = QStringLiteral("REPORT");
const QString kCompany = QStringLiteral("COMPANY");
const QString kReportName = QStringLiteral("REPORT_NAME");
const QString kUserName = QStringLiteral("USER_NAME");

QString RunningExecutable()
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || n >= ssize_t(sizeof buf))
        return QString();
    return QFile::decodeName(QByteArray(buf, int(n)));
}

bool HasWriteAccess(const QString &dir)
{
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

QString DefaultUserDataDir(const QString &baseName)
{
    if (!QCoreApplication::applicationName().isEmpty())
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QLatin1Char('/') + baseName;
}

// The executable's name without a Windows ".exe" ending, which a Linux executable does not have.
QString BaseNameOf(const QString &fileName)
{
    if (fileName.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive))
        return fileName.chopped(4);
    return fileName;
}

} // namespace

void CIniSysInfo::ResolvePaths()
{
    exePath = m_exeOverride.isEmpty() ? RunningExecutable() : m_exeOverride;
    exeDir = dataDir = iniPath = logDir = dumpDir = QString();
    // Without an executable path there is nowhere sensible to put anything: the paths stay empty.
    if (exePath.isEmpty())
        return;

    const qsizetype slash = exePath.lastIndexOf(QLatin1Char('/'));
    const QString baseName = BaseNameOf(slash >= 0 ? exePath.mid(slash + 1) : exePath);
    exeDir = slash >= 0 ? exePath.left(slash) : QString();

    const QString dirToCheck = exeDir.isEmpty() ? QStringLiteral("/") : exeDir;
    if (m_writable ? m_writable(dirToCheck) : HasWriteAccess(dirToCheck)) {
        dataDir = exeDir;
    } else {
        dataDir = m_userDataDir.isEmpty() ? DefaultUserDataDir(baseName) : m_userDataDir;
        while (dataDir.endsWith(QLatin1Char('/')))
            dataDir.chop(1);
    }
    logDir = dataDir + QStringLiteral("/Log/");
    dumpDir = dataDir + QStringLiteral("/Dmp/");
    iniPath = dataDir + QLatin1Char('/') + baseName + QStringLiteral(".ini");
}

void CIniSysInfo::Load()
{
    ResolvePaths();
    if (exePath.isEmpty())
        return;
    CreateDirectoryPath(dumpDir);
    CreateDirectoryPath(logDir);

    const std::optional<QString> text = IniFile::ReadFile(iniPath);
    if (!text)
        return;
    const auto read = [&](const QString &key, QString &field) {
        if (const auto value = IniFile::FindValue(*text, kSection, key))
            field = CutAtCharacterBoundary(*value, kMaxTextLength);
    };
    read(kCompany, company);
    read(kReportName, reportName);
    read(kUserName, userName);
}

bool CIniSysInfo::Save()
{
    if (iniPath.isEmpty())
        return false;
    company = CutAtCharacterBoundary(company, kMaxTextLength);
    reportName = CutAtCharacterBoundary(reportName, kMaxTextLength);
    userName = CutAtCharacterBoundary(userName, kMaxTextLength);
    const QString old = IniFile::ReadFile(iniPath).value_or(QString());
    const QString text =
        IniFile::WithValues(old, kSection, {{kCompany, company}, {kReportName, reportName}, {kUserName, userName}});
    return IniFile::WriteFile(iniPath, text);
}

bool CIniSysInfo::CreateDirectoryPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    // Past the root: "/" itself always exists.
    for (qsizetype slash = path.indexOf(QLatin1Char('/'), 1); slash >= 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        const QByteArray prefix = QFile::encodeName(path.left(slash + 1));
        if (::mkdir(prefix.constData(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

QString CIniSysInfo::HelpFilePath() const
{
    const QString beside = exeDir + QStringLiteral("/help.dat");
    if (QFile::exists(beside) || dataDir == exeDir)
        return beside;
    const QString own = dataDir + QStringLiteral("/help.dat");
    // The notice an installed program ships, in <prefix>/share/tonvale beside <prefix>/bin.
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../share/tonvale/help.dat"));
    if (!QFile::exists(own) && QFile::exists(installed))
        return installed;
    return own;
}
