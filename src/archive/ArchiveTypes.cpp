#include "ArchiveTypes.h"

#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>

#include <pwd.h>
#include <unistd.h>

QString DownloadModeName(DownloadMode mode)
{
    return mode == DownloadMode::Memory ? QStringLiteral("MEMORY") : QStringLiteral("OUTPUT");
}

std::optional<DownloadMode> DownloadModeFromName(const QString &name)
{
    if (name == QLatin1String("MEMORY"))
        return DownloadMode::Memory;
    if (name == QLatin1String("OUTPUT"))
        return DownloadMode::Output;
    return std::nullopt;
}

QString StationHostName()
{
    return QSysInfo::machineHostName();
}

QString StationOsUser()
{
    if (const passwd *entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(geteuid());
}

QString RawRecordTimeText(const uint8_t *record)
{
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", record[0] * 256 + record[1], record[2], record[3],
                             record[4], record[5], record[6]);
}

bool MakeRawRecord(const QString &timeText, int rawForce, int settingCode, RawRecord &record)
{
    static const QRegularExpression kForm(
        QStringLiteral("^(\\d{4,5})-(\\d{2,3})-(\\d{2,3}) (\\d{2,3}):(\\d{2,3}):(\\d{2,3})$"));
    const QRegularExpressionMatch match = kForm.match(timeText);
    if (!match.hasMatch() || rawForce < 0 || rawForce > 0xFFFF || settingCode < 0 || settingCode > 0xFF)
        return false;
    int fields[6];
    for (int i = 0; i < 6; ++i)
        fields[i] = match.captured(i + 1).toInt();
    if (fields[0] > 0xFFFF)
        return false;
    for (int i = 1; i < 6; ++i)
        if (fields[i] > 0xFF)
            return false;
    record = {uint8_t(fields[0] >> 8),  uint8_t(fields[0] & 0xFF), uint8_t(fields[1]), uint8_t(fields[2]),
              uint8_t(fields[3]),       uint8_t(fields[4]),        uint8_t(fields[5]), uint8_t(rawForce >> 8),
              uint8_t(rawForce & 0xFF), uint8_t(settingCode)};
    return true;
}
