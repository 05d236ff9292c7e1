#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

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
    QString Url() const { return QStringLiteral("postgresql://tonvale@/tonvale?host=") + SocketDir(); }

    bool Start()
    {
        QString output;
        m_running = Run(QStringLiteral("pg_ctl"),
                        {"-D", DataDir(), "-l", m_dir.filePath("server.log"), "-w", "-o",
                         "-c listen_addresses='' -k " + SocketDir() + " -c fsync=off", "start"},
                        &output);
        return m_running;
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
    QString m_skipReason;
    QString m_failure;
};
