#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// What a command-line tool (pdfinfo, pdftotext, pdffonts) printed on stdout.
inline QString ToolOutput(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}
