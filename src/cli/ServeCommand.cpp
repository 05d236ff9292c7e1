// serve: the archive, read-only, as web pages for the plant's office PCs.

#include "ArchiveLocation.h"
#include "ArchivePages.h"
#include "ArchiveRecorder.h"
#include "CliCommand.h"
#include "MainThreadRunner.h"
#include "MeasurementArchive.h"
#include "PressPages.h"
#include "ServeSettings.h"
#include "WebAccounts.h"
#include "WebArchive.h"
#include "WebServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <atomic>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char *const kServeUsage = "[--listen ADDR:PORT] [--tls-cert PEM --tls-key PEM] [--accounts FILE] [--config FILE]";

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT quit the application's event loop (from the loop, not from the signal handler).
bool QuitOnStopSignals(QObject *parent)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] { QCoreApplication::quit(); });
    return true;
}

// Checks the archive once at the start: on a server, the role must be the read-only one. A database that
// cannot be reached now is no reason not to start (the pages say so until it comes back).
bool CheckReadOnlyRole(CliContext &context, WebArchive &archive)
{
    ArchiveError error;
    std::optional<bool> mayWrite;
    if (!archive.Use(
            [&](MeasurementArchive &connection, ArchiveError &failure) {
                mayWrite = WebArchive::RoleMayWrite(connection, failure);
                return mayWrite.has_value();
            },
            &error)) {
        context.err << QStringLiteral("기록 보관소를 아직 읽을 수 없습니다 (다시 연결되면 페이지를 보여 줍니다): %1")
                           .arg(error.Reason())
                    << Qt::endl;
        PrintArchiveDetail(context.err, error);
        return true;
    }
    if (*mayWrite) {
        context.err << QStringLiteral(
                           "serve는 기록 서버에 읽기 전용 역할로 접속해야 합니다: 이 역할은 다운로드를 바꿀 수 "
                           "있습니다. archive setup이 만든 읽기 전용 역할(tonvale_reader)의 구성원으로 "
                           "접속하십시오.")
                    << Qt::endl;
        return false;
    }
    return true;
}

int RunServe(CliContext &context, const QStringList &arguments)
{
    QStringList rest = arguments;
    QString problem;
    const std::optional<ServeSettings> settings = TakeServeSettings(rest, ProgramIniPath(), &problem);
    if (!settings || !rest.isEmpty()) {
        context.err << (settings ? QStringLiteral("serve: unknown argument ") + rest.first() : problem) << Qt::endl
                    << "serve " << kServeUsage << Qt::endl;
        return kExitUsage;
    }
    WebAccounts accounts(settings->accountsPath);
    if (!accounts.Load(&problem)) {
        context.err << problem << Qt::endl;
        return kExitUsage;
    }
    if (!settings->LoopbackOnly() && (!settings->Tls() || accounts.Count() == 0)) {
        context.err << QStringLiteral("%1 에서는 열지 않습니다: 루프백(127.0.0.1) 밖의 주소에는 %2")
                           .arg(settings->listen,
                                !settings->Tls()
                                    ? QStringLiteral("TLS가 있어야 합니다 (--tls-cert, --tls-key).")
                                    : QStringLiteral("계정이 하나 이상 있어야 합니다 (tonvale-cli web user add 이름, "
                                                     "계정 파일 %1).")
                                          .arg(settings->accountsPath))
                    << Qt::endl;
        return kExitUsage;
    }
    if (context.archive.databaseUrl.isEmpty() && !settings->database.isEmpty()) {
        QString error;
        if (!ParseArchiveLocation(settings->database, &error)) {
            context.err << error << Qt::endl;
            return kExitUsage;
        }
        context.archive.databaseUrl = settings->database;
    }
    const ArchiveSettings archiveSettings = context.ArchiveSettingsOrOff();
    if (!archiveSettings.enabled)
        return kExitUsage;
    WebArchive archive(archiveSettings.location);
    if (!CheckReadOnlyRole(context, archive))
        return kExitUsage;

    QCoreApplication *application = QCoreApplication::instance();
    WebRouter router;
    MainThreadRunner mainThread(application);
    const ArchivePagesSetting pagesSetting{&archive, settings->configPath,
                                           [&mainThread](const std::function<void()> &work) { mainThread.Run(work); }};
    AddArchivePages(router, pagesSetting);
    AddPressPages(router, pagesSetting);
    WebServerSettings serverSettings;
    serverSettings.host = settings->host;
    serverSettings.port = settings->port;
    serverSettings.tlsCertificate = settings->tlsCertificate;
    serverSettings.tlsKey = settings->tlsKey;
    serverSettings.accounts = &accounts;
    WebServer server(router, serverSettings);
    if (!server.Bind(&problem)) {
        context.err << problem << Qt::endl;
        return kExitInstrumentFailed;
    }
    if (!QuitOnStopSignals(application)) {
        context.err << "serve: cannot watch for SIGTERM" << Qt::endl;
        return kExitInstrumentFailed;
    }
    const QString host = settings->host.contains(QLatin1Char(':')) ? '[' + settings->host + ']' : settings->host;
    context.err << QStringLiteral("웹 보기: %1://%2:%3/ (%4, 계정 %5개)")
                       .arg(settings->Tls() ? "https" : "http", host)
                       .arg(server.Port())
                       .arg(archiveSettings.location.Describe())
                       .arg(accounts.Count())
                << Qt::endl;

    std::atomic<bool> served{false};
    std::thread serving([&] {
        server.Serve();
        served = true;
        QMetaObject::invokeMethod(
            application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    // Requests still at work may need the main thread (a PDF): it keeps serving them until the server is done.
    server.Stop();
    while (!served) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    serving.join();
    context.err << QStringLiteral("웹 보기를 마쳤습니다") << Qt::endl;
    return kExitOk;
}

const CliCommandRegistration kServe("serve", kServeUsage, RunServe);

} // namespace
