#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

// A throwaway PostgreSQL server for one test: initdb and pg_ctl from Debian's postgresql package in a
// temporary folder, listening only on a private Unix socket (no TCP). When the tests run as root the
// server runs as the unprivileged user nobody, as PostgreSQL requires. Clients connect as "tonvale"
// without a password (trust on the private socket) to the database "tonvale".
class PostgresCluster {
  public:
    static constexpr uid_t kNobody = 65534;

    PostgresCluster()
    {
        const QStringList versions =
            QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &version : versions)
            if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(version)))
                m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(version);
        if (m_bin.isEmpty()) {
            m_skipReason = QStringLiteral("initdb not found under /usr/lib/postgresql (package postgresql)");
            return;
        }
        if (!m_dir.isValid()) {
            m_skipReason = QStringLiteral("no temporary folder");
            return;
        }
        if (geteuid() == 0 && chown(qPrintable(m_dir.path()), kNobody, kNobody) != 0) {
            m_skipReason = QStringLiteral("cannot give the cluster folder to nobody");
            return;
        }
        QDir(m_dir.path()).mkdir(QStringLiteral("sock"));
        if (geteuid() == 0)
            chown(qPrintable(SocketDir()), kNobody, kNobody);
        QString output;
        if (!Run(QStringLiteral("initdb"),
                 {"-D", DataDir(), "-U", "tonvale", "--auth=trust", "--no-sync", "-E", "UTF8", "--locale=C"},
                 &output) ||
            !Start() || !Run(QStringLiteral("createdb"), {"-h", SocketDir(), "-U", "tonvale", "tonvale"}, &output))
            m_failure = QStringLiteral("cluster did not start: ") + output;
    }

    ~PostgresCluster()
    {
        if (m_running)
            Stop();
    }

    // Empty when the server runs; otherwise why the test must skip (no PostgreSQL) or fail.
    const QString &SkipReason() const { return m_skipReason; }
    const QString &Failure() const { return m_failure; }

    QString SocketDir() const { return m_dir.filePath(QStringLiteral("sock")); }
    QString Url() const { return UrlOf(QStringLiteral("tonvale")); }

    // tcpPort > 0: listens on 127.0.0.1 at that port too.
    bool Start(int tcpPort = 0)
    {
        QString output;
        const QString listen = tcpPort > 0 ? QStringLiteral("-c listen_addresses=127.0.0.1 -p %1").arg(tcpPort)
                                           : QStringLiteral("-c listen_addresses=''");
        m_port = tcpPort;
        m_running = Run(QStringLiteral("pg_ctl"),
                        {"-D", DataDir(), "-l", m_dir.filePath("server.log"), "-w", "-o",
                         listen + " -k " + SocketDir() + " -c fsync=off", "start"},
                        &output);
        return m_running;
    }

    // The URL of another role or database on the private socket.
    QString UrlOf(const QString &user, const QString &database = QStringLiteral("tonvale")) const
    {
        // The socket's name carries the port the server listens on.
        const QString port = m_port > 0 ? QStringLiteral("&port=%1").arg(m_port) : QString();
        return QStringLiteral("postgresql://%1@/%2?host=%3%4").arg(user, database, SocketDir(), port);
    }

    // Runs SQL as the superuser "tonvale" (psql, stopping at the first error); the output on failure.
    QString Sql(const QString &sql, const QString &database = QStringLiteral("tonvale"))
    {
        QString output;
        if (Run(QStringLiteral("psql"),
                {"-h", SocketDir(), "-p", QString::number(m_port > 0 ? m_port : 5432), "-U", "tonvale", "-d", database,
                 "-v", "ON_ERROR_STOP=1", "-q", "-c", sql},
                &output))
            return QString();
        return output.isEmpty() ? QStringLiteral("psql failed") : output;
    }

    // Replaces the client authentication rules (pg_hba.conf lines) and has the server read them again.
    bool SetClientAuthentication(const QStringList &lines)
    {
        QFile file(DataDir() + QStringLiteral("/pg_hba.conf"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        file.close();
        QString output;
        if (!Run(QStringLiteral("pg_ctl"), {"-D", DataDir(), "reload"}, &output))
            return false;
        QThread::msleep(500); // the server reads them on the signal, after pg_ctl returned
        return true;
    }

    bool Stop()
    {
        QString output;
        const bool ok = Run(QStringLiteral("pg_ctl"), {"-D", DataDir(), "-m", "immediate", "-w", "stop"}, &output);
        m_running = false;
        return ok;
    }

  private:
    QString DataDir() const { return m_dir.filePath(QStringLiteral("data")); }

    bool Run(const QString &tool, const QStringList &arguments, QString *output)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_dir.path());
        if (geteuid() == 0) {
            QStringList asNobody{"--reuid=65534", "--regid=65534", "--clear-groups", m_bin + tool};
            process.start(QStringLiteral("setpriv"), asNobody + arguments);
        } else {
            process.start(m_bin + tool, arguments);
        }
        const bool finished = process.waitForFinished(120000);
        *output = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QString m_bin;
    QTemporaryDir m_dir;
    bool m_running = false;
    int m_port = 0; // the TCP port as well, when not 0
    QString m_skipReason;
    QString m_failure;
};
