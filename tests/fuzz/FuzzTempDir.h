#pragma once

// A directory of the fuzz run's own for the files a target writes, made once and removed at exit.

#include <QDir>
#include <QString>
#include <QTemporaryDir>

inline QString FuzzTempDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tonvale-fuzz-XXXXXX"));
    return dir.path();
}
