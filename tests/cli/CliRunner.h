#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include <unistd.h>

// Runs tonvale-cli with arguments and keeps what it printed and how it ended.
struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// tonvale-cli (or another build's, `program`) placed in `dir` (a hard link, or a copy across file
// systems), so that its configuration folder, and with it the INI file, the default archive, Log and Dmp,
// is dir and not the build's bin/: tests that ctest runs at once never share a file. An existing program
// in dir is kept.
inline QString CliCopyIn(const QString &dir, const QString &program = QStringLiteral(TONVALE_CLI_PATH))
{
    const QString placed = dir + QStringLiteral("/tonvale-cli");
    if (!QFile::exists(placed) &&
        ::link(QFile::encodeName(program).constData(), QFile::encodeName(placed).constData()) != 0)
        QFile::copy(program, placed);
    return placed;
}

// Runs program to its end. inChild runs in the child between fork and exec (to set resource limits, for
// example); environment empty: the test's own.
inline CliRun RunProgram(const QString &program, const QStringList &arguments,
                         const std::function<void()> &inChild = {}, const QProcessEnvironment &environment = {})
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(180000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

// One run of tonvale-cli in a temporary folder of its own, removed afterwards.
inline CliRun RunCli(const QStringList &arguments, const std::function<void()> &inChild = {},
                     const QProcessEnvironment &environment = {})
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return {};
    return RunProgram(CliCopyIn(dir.path()), arguments, inChild, environment);
}
