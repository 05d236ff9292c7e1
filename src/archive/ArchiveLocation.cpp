#include "ArchiveLocation.h"

#include "IniFile.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

QString ArchiveLocation::Describe() const
{
    if (kind == Kind::Sqlite)
        return QStringLiteral("sqlite:") + sqlitePath;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    if (!host.startsWith(QLatin1Char('/')))
        text += host;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + database;
    if (host.startsWith(QLatin1Char('/')))
        text += QStringLiteral("?host=") + host;
    return text;
}

ArchiveLocation DefaultArchiveLocation(const QString &configDir)
{
    ArchiveLocation location;
    location.sqlitePath = QDir(configDir).filePath(QString::fromLatin1(kArchiveFileName));
    return location;
}

std::optional<ArchiveLocation> ParseArchiveLocation(const QString &url, QString *error)
{
    ArchiveLocation location;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        location.sqlitePath = url.mid(7);
        if (location.sqlitePath.isEmpty()) {
            *error = QStringLiteral("보관 위치에 파일 경로가 없습니다: %1").arg(url);
            return std::nullopt;
        }
        return location;
    }
    if (!url.startsWith(QLatin1String("postgresql://")) && !url.startsWith(QLatin1String("postgres://"))) {
        *error = QStringLiteral("보관 위치는 sqlite:경로 또는 postgresql:// 주소입니다: %1").arg(url);
        return std::nullopt;
    }
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid()) {
        *error = QStringLiteral("잘못된 서버 주소입니다: %1").arg(url);
        return std::nullopt;
    }
    if (!parsed.password().isEmpty()) {
        *error = QStringLiteral("서버 주소에 비밀번호를 쓰지 마십시오. 비밀번호는 ~/.pgpass 또는 PGPASSWORD로 "
                                "줍니다.");
        return std::nullopt;
    }
    location.kind = ArchiveLocation::Kind::Postgres;
    location.user = parsed.userName();
    location.host = parsed.host();
    location.port = parsed.port(-1);
    location.database = parsed.path().mid(1);
    QStringList options;
    const QUrlQuery query(parsed);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host")) {
            location.host = value;
        } else if (key == QLatin1String("port")) {
            location.port = value.toInt();
        } else if (key == QLatin1String("user")) {
            location.user = value;
        } else if (key == QLatin1String("dbname")) {
            location.database = value;
        } else if (key == QLatin1String("password")) {
            *error = QStringLiteral("서버 주소에 비밀번호를 쓰지 마십시오. 비밀번호는 ~/.pgpass 또는 PGPASSWORD로 "
                                    "줍니다.");
            return std::nullopt;
        } else {
            options << key + QLatin1Char('=') + value;
        }
    }
    location.options = options.join(QLatin1Char(';'));
    if (location.database.isEmpty()) {
        *error = QStringLiteral("서버 주소에 데이터베이스 이름이 없습니다: %1").arg(url);
        return std::nullopt;
    }
    return location;
}

std::optional<ArchiveLocation> ConfiguredArchiveLocation(const std::optional<QString> &iniText,
                                                         const QString &configDir, QString *error)
{
    const std::optional<QString> configured =
        iniText ? IniFile::FindValue(*iniText, QStringLiteral("ARCHIVE"), QStringLiteral("DATABASE")) : std::nullopt;
    if (!configured || configured->trimmed().isEmpty())
        return DefaultArchiveLocation(configDir);
    std::optional<ArchiveLocation> location = ParseArchiveLocation(configured->trimmed(), error);
    if (location && !location->IsServer() && QDir::isRelativePath(location->sqlitePath))
        location->sqlitePath = QDir(configDir).filePath(location->sqlitePath);
    return location;
}
