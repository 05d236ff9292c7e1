#pragma once

#include "cli/CliRunner.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <httplib.h>

#include <csignal>

// `tonvale-cli serve` running in a folder of its own (its INI file, default archive, accounts, Log and Dmp
// there), on a free loopback port unless the arguments say otherwise.
class ServeProcess {
  public:
    // globalOptions go before "serve" (--database ...), serveOptions after it.
    ServeProcess(const QString &dir, const QStringList &globalOptions, const QStringList &serveOptions = {})
    {
        QStringList arguments = globalOptions;
        arguments << "serve";
        if (!serveOptions.join(' ').contains("--listen"))
            arguments << "--listen"
                      << "127.0.0.1:0";
        arguments << serveOptions;
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(CliCopyIn(dir), arguments);
        // Started: it names its address; refused: it ends.
        static const QRegularExpression address(QStringLiteral("https?://[^ /]+:(\\d+)/"));
        for (int waited = 0; waited < 30000 && m_port == 0; waited += 20) {
            if (m_process.state() == QProcess::NotRunning)
                break;
            m_process.waitForReadyRead(20);
            m_err += QString::fromUtf8(m_process.readAllStandardError());
            const QRegularExpressionMatch match = address.match(m_err);
            if (match.hasMatch())
                m_port = match.captured(1).toInt();
        }
        if (m_port == 0)
            m_process.waitForFinished(30000);
    }
    ~ServeProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    int Port() const { return m_port; }
    bool Running() const { return m_process.state() == QProcess::Running; }
    // SIGTERM, then the exit code (-1 when it did not end by itself within 20 s).
    int Terminate(int signal = SIGTERM)
    {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(20000))
            return -1;
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    // What it said on stderr so far (all of it, once it has ended).
    QString Err()
    {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }
    int ExitCode() const { return m_process.exitCode(); }

    httplib::Client Client() const
    {
        httplib::Client client("127.0.0.1", m_port);
        client.set_connection_timeout(5);
        client.set_read_timeout(60);
        return client;
    }

  private:
    QProcess m_process;
    QString m_err;
    int m_port = 0;
};

inline QString Text(const httplib::Result &result)
{
    return result ? QString::fromStdString(result->body) : QString();
}
