#include "WebServer.h"

#include "ConnectionWatchdog.h"
#include "WebAccounts.h"
#include "WebLayout.h"
#include "WebText.h"

#include <QDateTime>
#include <QFile>
#include <QSemaphore>

#include <httplib.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

namespace {

constexpr size_t kMaxBodyBytes = 16 * 1024;
constexpr int kRequestHeadSeconds = 10;
constexpr int kMaxPasswordBytes = 1024;
// Password hashing takes 64 MiB a time: this many at once, the rest wait.
constexpr int kHashesAtOnce = 2;

const char *const kSecurityPolicy = "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                                    "frame-ancestors 'none'; base-uri 'none'";

QSemaphore g_hashing(kHashesAtOnce);

// The watched connection this worker thread serves.
thread_local quint64 t_connection = 0;

// The library's pool of connection threads, with each accepted connection watched from its accept (called on
// the accepting thread right after it) to its close.
class WatchedPool : public httplib::TaskQueue {
  public:
    WatchedPool(size_t threads, ConnectionWatchdog &watchdog) : m_pool(threads), m_watchdog(watchdog) {}
    void enqueue(std::function<void()> serve) override
    {
        const quint64 connection = m_watchdog.Accepted();
        m_pool.enqueue([this, connection, serve = std::move(serve)] {
            t_connection = connection;
            serve();
            m_watchdog.Closed(connection);
            t_connection = 0;
        });
    }
    void shutdown() override { m_pool.shutdown(); }

  private:
    httplib::ThreadPool m_pool;
    ConnectionWatchdog &m_watchdog;
};

qint64 Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

QByteArray CookieValue(const QByteArray &header, const QByteArray &name)
{
    for (const QByteArray &part : header.split(';')) {
        const QByteArray pair = part.trimmed();
        if (pair.startsWith(name + '='))
            return pair.mid(name.size() + 1);
    }
    return {};
}

// Where to go after logging in: a path of this site only (never "//host" or a full URL).
QString SafeNext(const QString &next)
{
    return next.startsWith(QLatin1Char('/')) && !next.startsWith(QLatin1String("//")) &&
                   !next.contains(QLatin1Char('\\'))
               ? next
               : QStringLiteral("/");
}

WebResponse Redirect(const QString &to)
{
    WebResponse response;
    response.status = 303;
    response.location = to;
    return response;
}

void Reply(const WebResponse &answer, const QByteArray &setCookie, httplib::Response &res)
{
    res.status = answer.status;
    if (!answer.location.isEmpty())
        res.set_header("Location", answer.location.toUtf8().toStdString());
    if (!setCookie.isEmpty())
        res.set_header("Set-Cookie", setCookie.toStdString());
    if (!answer.attachmentName.isEmpty())
        res.set_header("Content-Disposition",
                       QStringLiteral("attachment; filename=\"%1\"").arg(answer.attachmentName).toStdString());
    res.set_content(answer.body.constData(), size_t(answer.body.size()), answer.contentType.constData());
}

} // namespace

WebServer::WebServer(const WebRouter &router, WebServerSettings settings)
    : m_router(router), m_settings(std::move(settings)),
      m_watchdog(std::make_unique<ConnectionWatchdog>(std::chrono::seconds(kRequestHeadSeconds))),
      m_sessions(m_settings.sessionSeconds), m_turns(m_settings.pagesAtOnce)
{
    if (m_settings.tlsCertificate.isEmpty())
        m_server = std::make_unique<httplib::Server>();
    else
        m_server = std::make_unique<httplib::SSLServer>(QFile::encodeName(m_settings.tlsCertificate).constData(),
                                                        QFile::encodeName(m_settings.tlsKey).constData());
}

WebServer::~WebServer()
{
    Stop();
}

bool WebServer::Bind(QString *error)
{
    if (!m_settings.tlsCertificate.isEmpty()) {
        auto &tls = static_cast<httplib::SSLServer &>(*m_server);
        if (!tls.is_valid()) {
            *error = QStringLiteral("TLS 인증서나 키를 쓸 수 없습니다: %1, %2")
                         .arg(m_settings.tlsCertificate, m_settings.tlsKey);
            return false;
        }
        SSL_CTX_set_min_proto_version(tls.ssl_context(), TLS1_2_VERSION);
    }
    Install();
    const std::string host = m_settings.host.toStdString();
    if (m_settings.port == 0) {
        m_port = m_server->bind_to_any_port(host);
    } else if (m_server->bind_to_port(host, m_settings.port)) {
        m_port = m_settings.port;
    }
    // Many browsers connecting at once are queued, not dropped (a dropped connection waits a second to retry).
    if (m_port > 0) {
        ::listen(m_listenSocket, SOMAXCONN);
        m_watchdog->SetPort(m_port);
    }
    if (m_port <= 0) {
        *error = QStringLiteral("%1:%2 에서 연결을 받을 수 없습니다 (이미 쓰이고 있거나 권한이 없습니다)")
                     .arg(m_settings.host)
                     .arg(m_settings.port);
        return false;
    }
    return true;
}

void WebServer::Serve()
{
    m_server->listen_after_bind();
}

void WebServer::Stop()
{
    if (m_server)
        m_server->stop();
}

void WebServer::Install()
{
    httplib::Server &server = *m_server;
    const int threads = m_settings.threads;
    server.new_task_queue = [this, threads] { return new WatchedPool(size_t(threads), *m_watchdog); };
    server.set_read_timeout(5, 0);
    server.set_write_timeout(10, 0);
    server.set_keep_alive_timeout(5);
    server.set_keep_alive_max_count(1000);
    // SO_REUSEADDR only: the library's default SO_REUSEPORT would let a second server take the same port
    // silently. The socket is kept to widen the library's short listen queue once bound.
    server.set_socket_options([this](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        m_listenSocket = sock;
    });
    server.set_payload_max_length(kMaxBodyBytes);
    server.set_logger(
        [this](const httplib::Request &, const httplib::Response &) { m_watchdog->Answered(t_connection); });
    httplib::Headers headers{{"Content-Security-Policy", kSecurityPolicy},
                             {"X-Content-Type-Options", "nosniff"},
                             {"X-Frame-Options", "DENY"},
                             {"Referrer-Policy", "no-referrer"},
                             {"Cache-Control", "no-store"}};
    if (!m_settings.tlsCertificate.isEmpty())
        headers.emplace("Strict-Transport-Security", "max-age=31536000");
    server.set_default_headers(headers);
    // A body declared too large is refused before a byte of it is read (the library would read it all to skip it).
    server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        m_watchdog->Routed(t_connection);
        const QByteArray length = QByteArray::fromStdString(req.get_header_value("Content-Length"));
        bool number = true;
        const qulonglong bytes = length.isEmpty() ? 0 : length.toULongLong(&number);
        if (number && bytes <= kMaxBodyBytes && req.get_header_value("Transfer-Encoding").empty())
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = number ? 413 : 400;
        res.set_header("Connection", "close");
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library itself refuses (too large, malformed) gets a page too, and nothing leaks from a fault.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request &req, httplib::Response &res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            WebRequest request;
            request.path = QString::fromStdString(req.path);
            const QString message = res.status == 413   ? QStringLiteral("요청이 너무 큽니다.")
                                    : res.status == 414 ? QStringLiteral("주소가 너무 깁니다.")
                                                        : QStringLiteral("요청을 처리할 수 없습니다.");
            Reply(web_layout::Error(m_router, request, res.status, message), {}, res);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
        res.status = 500;
        res.set_content("서버 내부 오류", "text/plain; charset=utf-8");
    });
    const auto handler = [this](const httplib::Request &req, httplib::Response &res) {
        WebRequest request;
        request.path = QString::fromStdString(req.path);
        for (const auto &[name, value] : req.params)
            request.parameters.insert(QString::fromStdString(name), QString::fromStdString(value));
        QByteArray setCookie;
        const WebResponse answer = Handle(request, QByteArray::fromStdString(req.method),
                                          QByteArray::fromStdString(req.get_header_value("Cookie")),
                                          QString::fromStdString(req.remote_addr), &setCookie);
        Reply(answer, setCookie, res);
    };
    // Every path, line breaks in it too (decoded from %0A), reaches the pages, which refuse what they cannot take.
    server.Get("[\\s\\S]*", handler);
    server.Post("[\\s\\S]*", handler);
}

WebResponse WebServer::Handle(const WebRequest &plain, const QByteArray &method, const QByteArray &cookie,
                              const QString &address, QByteArray *setCookie)
{
    WebRequest request = plain;
    if (request.path == QLatin1String("/style.css")) {
        WebResponse style;
        style.contentType = "text/css; charset=utf-8";
        style.body = web_layout::StyleSheet();
        return style;
    }
    const bool accounts = m_settings.accounts && m_settings.accounts->Count() > 0;
    const QByteArray cookieName = m_settings.tlsCertificate.isEmpty() ? "tonvale_session" : "__Host-tonvale_session";
    if (request.path == QLatin1String("/login")) {
        if (!accounts)
            return Redirect(QStringLiteral("/"));
        const WebResponse answer = Login(request, method, address, setCookie);
        if (!setCookie->isEmpty())
            *setCookie = cookieName + '=' + *setCookie + "; Path=/; Secure; HttpOnly; SameSite=Strict; Max-Age=" +
                         QByteArray::number(m_sessions.Lifetime());
        return answer;
    }
    const QByteArray token = CookieValue(cookie, cookieName);
    if (request.path == QLatin1String("/logout") && method == "POST") {
        m_sessions.End(token);
        *setCookie = cookieName + "=; Path=/; Secure; HttpOnly; SameSite=Strict; Max-Age=0";
        return Redirect(accounts ? QStringLiteral("/login") : QStringLiteral("/"));
    }
    if (accounts) {
        const std::optional<QString> user = m_sessions.UserOf(token, Now());
        if (!user) {
            if (request.path.startsWith(QLatin1String("/api/")))
                return web_layout::Error(m_router, request, 401, QStringLiteral("로그인이 필요합니다."));
            return Redirect(QStringLiteral("/login?next=") + web_text::Url(request.path));
        }
        request.user = *user;
    }
    if (method != "GET" && method != "HEAD")
        return web_layout::Error(m_router, request, 405, QStringLiteral("이 주소는 읽기만 할 수 있습니다."));
    const WorkTurns::Turn turn(m_turns);
    if (std::optional<WebResponse> answer = m_router.Dispatch(request))
        return *answer;
    return web_layout::Error(m_router, request, 404, QStringLiteral("페이지가 없습니다: %1").arg(request.path));
}

WebResponse WebServer::Login(const WebRequest &request, const QByteArray &method, const QString &address,
                             QByteArray *setCookie)
{
    if (method != "POST")
        return LoginPage(request, 200, {});
    const qint64 wait = m_throttle.WaitSeconds(address, Now());
    if (wait > 0)
        return LoginPage(request, 429,
                         QStringLiteral("로그인 실패가 많았습니다. %1초 후에 다시 시도하십시오.").arg(wait));
    const QString name = request.Parameter(QStringLiteral("name"));
    const QByteArray password = request.Parameter(QStringLiteral("password")).toUtf8();
    bool good = false;
    if (WebAccounts::ValidName(name) && password.size() <= kMaxPasswordBytes) {
        g_hashing.acquire();
        good = m_settings.accounts->Verify(name, password);
        g_hashing.release();
    }
    if (!good) {
        m_throttle.Failed(address, Now());
        return LoginPage(request, 401, QStringLiteral("이름이나 암호가 맞지 않습니다."));
    }
    m_throttle.Succeeded(address);
    *setCookie = m_sessions.Begin(name, Now());
    return Redirect(SafeNext(request.Parameter(QStringLiteral("next"))));
}

WebResponse WebServer::LoginPage(const WebRequest &request, int status, const QString &message) const
{
    const QString body =
        (message.isEmpty() ? QString() : QStringLiteral("<p class=\"error\">%1</p>").arg(web_text::Html(message))) +
        QStringLiteral("<form method=\"post\" action=\"/login\"><input type=\"hidden\" name=\"next\" value=\"%1\">"
                       "<label>이름<input name=\"name\" autocomplete=\"username\" required></label>"
                       "<label>암호<input type=\"password\" name=\"password\" autocomplete=\"current-password\" "
                       "required></label><button type=\"submit\">로그인</button></form>")
            .arg(web_text::Html(SafeNext(request.Parameter(QStringLiteral("next")))));
    WebRequest anonymous = request;
    anonymous.user.clear();
    return web_layout::Page(m_router, anonymous, QStringLiteral("로그인"), body, status);
}
