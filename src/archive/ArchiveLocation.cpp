#include "ArchiveLocation.h"

#include "IniFile.h"

#include <QDir>
#include <QRegularExpression>
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
    QStringList query;
    if (host.startsWith(QLatin1Char('/')))
        query << QStringLiteral("host=") + host;
    if (schema != QLatin1String("public"))
        query << QStringLiteral("schema=") + schema;
    if (!query.isEmpty())
        text += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return text;
}

ArchiveLocation DefaultArchiveLocation(const QString &configDir)
{
    ArchiveLocation location;
    location.sqlitePath = QDir(configDir).filePath(QString::fromLatin1(kArchiveFileName));
    return location;
}

namespace {

// The libpq options a station may set in its URL. Left out: the password and everything that carries one
// (sslpassword), and what the archive sets itself (options, client_encoding).
const QStringList kConnectionOptions{
    "sslmode",
    "sslcert",
    "sslkey",
    "sslrootcert",
    "sslcrl",
    "sslcrldir",
    "sslsni",
    "channel_binding",
    "gssencmode",
    "krbsrvname",
    "application_name",
    "fallback_application_name",
    "connect_timeout",
    "keepalives",
    "keepalives_idle",
    "keepalives_interval",
    "keepalives_count",
    "tcp_user_timeout",
    "target_session_attrs",
    "hostaddr",
    "passfile",
    "service",
};

QString PasswordRefusal()
{
    return QStringLiteral("서버 주소에 비밀번호를 쓰지 마십시오. 비밀번호는 ~/.pgpass 또는 PGPASSWORD로 줍니다.");
}

// The text with every percent escape undone, however often it was applied.
QString FullyUnescaped(QString text)
{
    for (int i = 0; i < 4; ++i) {
        const QString decoded = QUrl::fromPercentEncoding(text.toUtf8());
        if (decoded == text)
            break;
        text = decoded;
    }
    return text;
}

bool MentionsPassword(const QString &text)
{
    return FullyUnescaped(text).contains(QLatin1String("password"), Qt::CaseInsensitive);
}

// A libpq connection value in single quotes, so that spaces or '=' in it cannot start another option.
QString QuotedValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

QString ArchiveLocation::ConnectOptions() const
{
    QStringList parts;
    for (const auto &[key, value] : options)
        parts << key + QLatin1Char('=') + QuotedValue(value);
    return parts.join(QLatin1Char(';'));
}

QString MaskedUrl(const QString &url)
{
    static const QRegularExpression kUserPassword(QStringLiteral("^([a-z]+://[^/@:?]*):[^@/?]*@"));
    static const QRegularExpression kPasswordValue(QStringLiteral("password[^&]*"),
                                                   QRegularExpression::CaseInsensitiveOption);
    QString masked = FullyUnescaped(url);
    masked.replace(kUserPassword, QStringLiteral("\\1:****@"));
    masked.replace(kPasswordValue, QStringLiteral("password=****"));
    return masked;
}

std::optional<ArchiveLocation> ParseArchiveLocation(const QString &url, QString *error)
{
    ArchiveLocation location;
    auto refuse = [error](const QString &reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    if (url.startsWith(QLatin1String("sqlite:"))) {
        location.sqlitePath = url.mid(7);
        if (location.sqlitePath.isEmpty())
            return refuse(QStringLiteral("보관 위치에 파일 경로가 없습니다: %1").arg(url));
        return location;
    }
    if (!url.startsWith(QLatin1String("postgresql://")) && !url.startsWith(QLatin1String("postgres://")))
        return refuse(QStringLiteral("보관 위치는 sqlite:경로 또는 postgresql:// 주소입니다: %1").arg(MaskedUrl(url)));
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.password().isEmpty() || MentionsPassword(url))
        return refuse(PasswordRefusal());
    if (!parsed.isValid())
        return refuse(QStringLiteral("잘못된 서버 주소입니다: %1").arg(MaskedUrl(url)));
    location.kind = ArchiveLocation::Kind::Postgres;
    location.user = parsed.userName();
    location.host = parsed.host();
    location.port = parsed.port(-1);
    location.database = parsed.path().mid(1);
    const QUrlQuery query(parsed);
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        // Qt's driver turns every ';' into a separator, even inside a quoted value.
        if (value.contains(QLatin1Char(';')) || key.contains(QLatin1Char(';')))
            return refuse(QStringLiteral("서버 주소의 설정 값에 ';'를 쓸 수 없습니다: %1").arg(key));
        if (key == QLatin1String("host")) {
            location.host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            location.port = value.toInt(&ok);
            if (!ok || location.port <= 0 || location.port > 65535)
                return refuse(QStringLiteral("서버 주소의 포트가 잘못되었습니다: %1").arg(value));
        } else if (key == QLatin1String("user")) {
            location.user = value;
        } else if (key == QLatin1String("dbname")) {
            location.database = value;
        } else if (key == QLatin1String("schema")) {
            location.schema = value;
        } else if (kConnectionOptions.contains(key)) {
            location.options.append({key, value});
        } else {
            return refuse(QStringLiteral("서버 주소에 쓸 수 없는 설정입니다: %1").arg(key));
        }
    }
    if (location.database.isEmpty())
        return refuse(QStringLiteral("서버 주소에 데이터베이스 이름이 없습니다: %1").arg(MaskedUrl(url)));
    if (location.schema.isEmpty())
        return refuse(QStringLiteral("서버 주소의 schema 값이 비어 있습니다"));
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
