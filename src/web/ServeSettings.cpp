#include "ServeSettings.h"

#include "IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>

bool ServeSettings::LoopbackOnly() const
{
    return QHostAddress(host).isLoopback();
}

std::optional<ServeSettings> TakeServeSettings(QStringList &arguments, const QString &programIni, QString *error)
{
    static const QStringList kOptions{"config", "listen", "tls-cert", "tls-key", "accounts"};
    QHash<QString, QString> given;
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const QString name = a.startsWith(QLatin1String("--")) ? a.mid(2).section(QLatin1Char('='), 0, 0) : QString();
        if (!kOptions.contains(name)) {
            rest << a;
            continue;
        }
        if (a.contains(QLatin1Char('='))) {
            given[name] = a.section(QLatin1Char('='), 1);
        } else if (i + 1 < arguments.size()) {
            given[name] = arguments[++i];
        } else {
            *error = QStringLiteral("--%1 needs a value").arg(name);
            return std::nullopt;
        }
    }
    arguments = rest;

    ServeSettings settings;
    settings.configPath = given.value(QStringLiteral("config"), programIni);
    const std::optional<IniFile::Contents> ini = IniFile::ReadFile(settings.configPath);
    if (!ini && given.contains(QStringLiteral("config"))) {
        *error = QStringLiteral("설정 파일을 읽을 수 없습니다: %1").arg(settings.configPath);
        return std::nullopt;
    }
    auto value = [&](const char *option, const char *key, const QString &fallback) {
        if (given.contains(QLatin1String(option)))
            return given.value(QLatin1String(option));
        const std::optional<QString> configured =
            ini ? IniFile::FindValue(ini->text, QStringLiteral("WEB"), QLatin1String(key)) : std::nullopt;
        return configured && !configured->trimmed().isEmpty() ? configured->trimmed() : fallback;
    };
    settings.listen = value("listen", "LISTEN", settings.listen);
    settings.tlsCertificate = value("tls-cert", "TLS_CERT", {});
    settings.tlsKey = value("tls-key", "TLS_KEY", {});
    settings.accountsPath =
        value("accounts", "ACCOUNTS", QFileInfo(settings.configPath).dir().filePath(QStringLiteral("web-accounts")));
    settings.database = value("", "DATABASE", {});

    // ADDR:PORT, an IPv6 address in brackets.
    const int colon = settings.listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    settings.port = colon > 0 ? settings.listen.mid(colon + 1).toInt(&portOk) : 0;
    settings.host = settings.listen.left(colon);
    if (settings.host.startsWith(QLatin1Char('[')) && settings.host.endsWith(QLatin1Char(']')))
        settings.host = settings.host.mid(1, settings.host.size() - 2);
    if (!portOk || settings.port < 0 || settings.port > 65535 || QHostAddress(settings.host).isNull()) {
        *error = QStringLiteral("--listen takes ADDR:PORT, as 127.0.0.1:8470 or 0.0.0.0:8470: %1").arg(settings.listen);
        return std::nullopt;
    }
    if (settings.tlsCertificate.isEmpty() != settings.tlsKey.isEmpty()) {
        *error = QStringLiteral("--tls-cert and --tls-key go together");
        return std::nullopt;
    }
    return settings;
}
