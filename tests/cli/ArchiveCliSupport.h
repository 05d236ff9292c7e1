#pragma once

#include "CliRunner.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A scenario of `count` stored records, one a second from 2024-05-01 00:00:00, force 1000 + i, setting i % 3.
inline QByteArray ManyStoredRecords(int count)
{
    QByteArray json = "{\"identity\": {\"serial\": \"SN-ARCH\"}, \"stored\": [";
    for (int i = 0; i < count; ++i) {
        const int minutes = i / 60, seconds = i % 60;
        json += QStringLiteral("%1{\"time\": \"2024-05-01 %2:%3:%4\", \"raw\": %5, \"setting\": %6}")
                    .arg(i ? "," : "")
                    .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                    .arg(minutes % 60, 2, 10, QLatin1Char('0'))
                    .arg(seconds, 2, 10, QLatin1Char('0'))
                    .arg(1000 + i)
                    .arg(i % 3)
                    .toUtf8();
    }
    return json + "]}";
}

inline QString WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}
