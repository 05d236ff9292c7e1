#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// How `serve` runs and where its accounts are: the [WEB] section of a configuration file (the program's INI
// file, or the one --config names, as /etc/tonvale/serve.ini for the system's service), each key overridden
// by its option:
//   LISTEN=ADDR:PORT (--listen; default 127.0.0.1:8470), TLS_CERT= / TLS_KEY= (--tls-cert / --tls-key, PEM),
//   ACCOUNTS= (--accounts; default web-accounts beside the configuration file), DATABASE= (the archive, when
//   --database is not given).
struct ServeSettings {
    QString configPath;
    QString listen = QStringLiteral("127.0.0.1:8470");
    QString tlsCertificate;
    QString tlsKey;
    QString accountsPath;
    QString database;
    QString host;
    int port = 0;

    bool Tls() const { return !tlsCertificate.isEmpty(); }
    // The loopback addresses (127.0.0.0/8, ::1): nobody else can reach the server there.
    bool LoopbackOnly() const;
};

// Takes --config, --listen, --tls-cert, --tls-key and --accounts (as "--name VALUE" or "--name=VALUE") out of
// arguments, reads the configuration file and checks the result. nullopt with *error for a value that cannot
// be used. programIni: the configuration file without --config.
std::optional<ServeSettings> TakeServeSettings(QStringList &arguments, const QString &programIni, QString *error);
