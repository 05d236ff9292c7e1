#include "CliCommand.h"

#include "ArchivingLinkOwner.h"
#include "CIniSysInfo.h"
#include "CliSession.h"
#include "HidBridge.h"
#include "MeasurementArchive.h"
#include "ResultCodes.h"
#include "SessionJobs.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QList<CliCommand> &Registry()
{
    static QList<CliCommand> commands;
    return commands;
}
} // namespace

CliCommandRegistration::CliCommandRegistration(const char *name, const char *usage, CliCommandFunction run)
{
    Registry().append({name, usage, run});
}

const QList<CliCommand> &RegisteredCliCommands()
{
    return Registry();
}

bool CliContext::Connect()
{
    const JobResult opened = session.Run(SessionJobs::Open());
    if (opened.code >= 0)
        return true;
    Fail(opened.code);
    const QString advice = HidOpenFailureAdvice();
    if (!advice.isEmpty())
        err << advice << Qt::endl;
    return false;
}

int CliContext::Fail(int code)
{
    err << ResultText(code) << Qt::endl;
    return kExitInstrumentFailed;
}

QString ProgramIniPath()
{
    CIniSysInfo info;
    info.SetExecutablePath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tonvale")));
    info.ResolvePaths();
    return info.iniPath;
}

ArchiveSettings CliContext::ArchiveSettingsOrOff()
{
    QString error;
    std::optional<ArchiveSettings> settings = ConfiguredArchiveSettings(ProgramIniPath(), archive.databaseUrl, &error);
    if (!settings) {
        err << QStringLiteral("측정 기록 보관 안 함 - [ARCHIVE] DATABASE 값이 잘못되었습니다: ") << error << Qt::endl;
        settings.emplace();
        settings->enabled = false;
        return *settings;
    }
    settings->enabled = !archive.disabled;
    return *settings;
}

void PrintArchiveDetail(QTextStream &err, const ArchiveError &error)
{
    // A missing file's detail is only its path, which the Korean line already names.
    if (!error.detail.trimmed().isEmpty() && error.kind != ArchiveError::Kind::Missing)
        err << QStringLiteral("  데이터베이스의 응답: ") << error.detail.simplified() << Qt::endl;
}

QString TsvText(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return text;
}
