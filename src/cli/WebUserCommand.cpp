// web user add|remove: the web view's accounts. A password is read from the terminal (not shown) or from
// stdin, never from the command line, where other users and the shell's history would see it.

#include "CliCommand.h"
#include "ServeSettings.h"
#include "WebAccounts.h"

#include <QFile>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

const char *const kWebUsage = "user add NAME | user remove NAME [--accounts FILE] [--config FILE]";
constexpr int kShortestPassword = 8;

// One line of stdin without its line end; on a terminal the typing is not echoed.
std::optional<QByteArray> ReadSecretLine(QTextStream &err, const QString &prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved = {};
    if (terminal) {
        err << prompt << Qt::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QFile in;
    QByteArray line;
    const bool read = in.open(stdin, QIODevice::ReadOnly) && !(line = in.readLine(4096)).isEmpty();
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        err << Qt::endl;
    }
    if (!read)
        return std::nullopt;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

int RunWeb(CliContext &context, const QStringList &arguments)
{
    QStringList rest = arguments;
    QString problem;
    const std::optional<ServeSettings> settings = TakeServeSettings(rest, ProgramIniPath(), &problem);
    const bool add = rest.value(1) == QLatin1String("add");
    if (!settings || rest.size() != 3 || rest[0] != QLatin1String("user") ||
        (!add && rest[1] != QLatin1String("remove"))) {
        if (!settings)
            context.err << problem << Qt::endl;
        context.err << "web " << kWebUsage << Qt::endl;
        return kExitUsage;
    }
    const QString name = rest[2];
    if (!WebAccounts::ValidName(name)) {
        context.err << QStringLiteral("계정 이름은 영문자, 숫자, '.', '_', '-'로 32자까지입니다: %1").arg(name)
                    << Qt::endl;
        return kExitUsage;
    }
    WebAccounts accounts(settings->accountsPath);
    if (!accounts.Load(&problem)) {
        context.err << problem << Qt::endl;
        return kExitInstrumentFailed;
    }
    if (add) {
        const std::optional<QByteArray> password = ReadSecretLine(context.err, QStringLiteral("암호: "));
        if (!password || password->size() < kShortestPassword) {
            context.err << QStringLiteral("암호는 %1자 이상이어야 합니다").arg(kShortestPassword) << Qt::endl;
            return kExitUsage;
        }
        if (::isatty(STDIN_FILENO) && ReadSecretLine(context.err, QStringLiteral("암호 확인: ")) != password) {
            context.err << QStringLiteral("두 암호가 다릅니다") << Qt::endl;
            return kExitUsage;
        }
        if (!accounts.SetPassword(name, *password, &problem)) {
            context.err << problem << Qt::endl;
            return kExitInstrumentFailed;
        }
    } else if (!accounts.Remove(name)) {
        context.err << QStringLiteral("계정이 없습니다: %1").arg(name) << Qt::endl;
        return kExitInstrumentFailed;
    }
    if (!accounts.Save(&problem)) {
        context.err << problem << Qt::endl;
        return kExitInstrumentFailed;
    }
    context.err << (add ? QStringLiteral("계정을 저장했습니다: %1 (%2)") : QStringLiteral("계정을 지웠습니다: %1 (%2)"))
                       .arg(name, settings->accountsPath)
                << Qt::endl;
    return kExitOk;
}

const CliCommandRegistration kWeb("web", kWebUsage, RunWeb);

} // namespace
