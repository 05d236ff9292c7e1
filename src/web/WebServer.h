#pragma once

#include "WebRouter.h"
#include "WebSessions.h"
#include "WorkTurns.h"

#include <QString>
#include <QThread>

#include <algorithm>

#include <memory>

class ConnectionWatchdog;
class WebAccounts;
namespace httplib {
class Server;
}

struct WebServerSettings {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8470;        // 0: any free port (Port() tells which)
    QString tlsCertificate; // PEM files; both empty: plain HTTP
    QString tlsKey;
    const WebAccounts *accounts = nullptr; // with none (or no account in it), every page is open
    int threads = 64;                      // connections served at once
    // Pages and files drawn at once, the others in turn: twice the cores, so that a page waiting for a
    // distant database leaves the processor to another.
    int pagesAtOnce = 2 * std::max(1, QThread::idealThreadCount());
    qint64 sessionSeconds = 8 * 3600;
};

// The HTTP(S) server in front of the router: requests bounded in size (16 KiB body, 8 KiB URI and header
// lines) and time (5 s for each read, 10 s for each write, 5 s idle between requests, 10 s for a request's
// head from the connection's accept or the previous answer, however it trickles in), strict security headers
// on every answer, GET and HEAD for pages, login with a session cookie when there are accounts.
class WebServer {
  public:
    WebServer(const WebRouter &router, WebServerSettings settings);
    ~WebServer();

    // Binds the address; false with *error (Korean) when it cannot (address in use, TLS files unusable).
    bool Bind(QString *error);
    int Port() const { return m_port; }
    // Serves until Stop(); call from a thread of its own.
    void Serve();
    void Stop();

  private:
    void Install();
    WebResponse Handle(const WebRequest &request, const QByteArray &method, const QByteArray &cookie,
                       const QString &address, QByteArray *setCookie);
    WebResponse Login(const WebRequest &request, const QByteArray &method, const QString &address,
                      QByteArray *setCookie);
    WebResponse LoginPage(const WebRequest &request, int status, const QString &message) const;

    const WebRouter &m_router;
    WebServerSettings m_settings;
    std::unique_ptr<ConnectionWatchdog> m_watchdog;
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    int m_listenSocket = -1;
    WebSessions m_sessions;
    LoginThrottle m_throttle;
    WorkTurns m_turns;
};
