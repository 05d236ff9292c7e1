#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs tonvale-cli with arguments and keeps what it printed and how it ended.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline CliRun RunCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TONVALE_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
