#include "CliCommand.h"

#include "CFt260.h"
#include "HidBridge.h"

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
    link.FindDevice();
    if (link.EnsureOpen())
        return true;
    Fail();
    const QString advice = HidOpenFailureAdvice();
    if (!advice.isEmpty())
        err << advice << Qt::endl;
    return false;
}

int CliContext::Fail()
{
    err << link.GetResultText() << Qt::endl;
    return kExitInstrumentFailed;
}

QString CliOptionValue(const QStringList &arguments, const QString &name)
{
    const QString flag = QStringLiteral("--") + name;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == flag && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].startsWith(flag + '='))
            return arguments[i].mid(flag.size() + 1);
    }
    return QString();
}
