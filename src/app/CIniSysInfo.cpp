#include "CIniSysInfo.h"

#include "IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The per-user folder is named after the program, not after whichever executable runs: the window and
// the command-line tool keep one configuration there.
QString DefaultUserDataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tonvale");
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
        dataDir = m_userDataDir.isEmpty() ? DefaultUserDataDir() : m_userDataDir;
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

    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(iniPath);
    if (!ini)
        return;
    const auto read = [&](const QString &key, QString &field) {
        if (const auto value = IniFile::FindValue(ini->text, kSection, key))
            field = CutAtCharacterBoundary(*value, kMaxTextLength);
    };
    read(kCompany, company);
    read(kReportName, reportName);
    read(kUserName, userName);
}

bool CIniSysInfo::Save(QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = IniFile::SaveFailureText(iniPath, reason);
        return false;
    };
    if (iniPath.isEmpty())
        return fail(QStringLiteral("경로 없음"));
    company = CutAtCharacterBoundary(company, kMaxTextLength);
    reportName = CutAtCharacterBoundary(reportName, kMaxTextLength);
    userName = CutAtCharacterBoundary(userName, kMaxTextLength);
    return IniFile::SetValues(iniPath, kSection,
                              {{kCompany, company}, {kReportName, reportName}, {kUserName, userName}}, error);
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
