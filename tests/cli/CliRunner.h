#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// Runs tonvale-cli with arguments and keeps what it printed and how it ended.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// inChild runs in the child between fork and exec (to set resource limits, for example).
inline CliRun RunCli(const QStringList &arguments, const std::function<void()> &inChild = {})
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(QStringLiteral(TONVALE_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
