// tonvale-cli: the instrument work of Tonvale without a window.
#include "ArchiveLocation.h"
#include "CliCommand.h"
#include "CliSession.h"
#include "Clock.h"
#include "HidBridge.h"
#include "Simulation.h"

#include <QApplication>

#include <memory>
#include <optional>

namespace {

struct GlobalOptions {
    bool simulate = false;
    QString scenarioPath;
    bool virtualTime = false;
    bool log = false;
    CliArchiveOptions archive;
    QString command;
    QStringList commandArguments;
};

void PrintUsage(QTextStream &stream)
{
    stream << "usage: tonvale-cli [--simulate[=SCENARIO]] [--virtual-time] [--log] [--database URL] [--no-archive]\n"
              "                   COMMAND [ARGUMENTS]\n"
              "  --database sqlite:PATH or postgresql://USER@HOST:PORT/DBNAME (?host=/DIR for a Unix socket);\n"
              "             without it, [ARCHIVE] DATABASE= of the INI file, else archive.sqlite beside it\n"
              "  --no-archive  do not archive this run's download\n"
              "commands:\n";
    for (const CliCommand &command : RegisteredCliCommands())
        stream << "  " << command.name << (*command.usage ? " " : "") << command.usage << '\n';
    stream.flush();
}

// nullopt on a usage error (already reported).
std::optional<GlobalOptions> ParseGlobalOptions(const QStringList &arguments, QTextStream &err)
{
    GlobalOptions options;
    int i = 1;
    for (; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == "--simulate") {
            options.simulate = true;
        } else if (a.startsWith("--simulate=")) {
            options.simulate = true;
            options.scenarioPath = a.mid(int(qstrlen("--simulate=")));
        } else if (a == "--virtual-time") {
            options.virtualTime = true;
        } else if (a == "--log") {
            options.log = true;
        } else if (a == "--no-archive") {
            options.archive.disabled = true;
        } else if (a == "--database" || a.startsWith("--database=")) {
            if (a == "--database" && i + 1 >= arguments.size()) {
                err << "--database needs a value" << Qt::endl;
                return std::nullopt;
            }
            options.archive.databaseUrl = a == "--database" ? arguments[++i] : a.mid(int(qstrlen("--database=")));
            QString error;
            if (!ParseArchiveLocation(options.archive.databaseUrl, &error)) {
                err << error << Qt::endl;
                return std::nullopt;
            }
        } else if (a.startsWith("--")) {
            err << "unknown option: " << a << Qt::endl;
            return std::nullopt;
        } else {
            break;
        }
    }
    if (i >= arguments.size()) {
        err << "no command given" << Qt::endl;
        return std::nullopt;
    }
    options.command = arguments[i];
    options.commandArguments = arguments.mid(i + 1);
    if (options.virtualTime && !options.simulate) {
        err << "--virtual-time needs --simulate" << Qt::endl;
        return std::nullopt;
    }
    return options;
}

// stderr carries the tool's own messages. Qt's uncategorised warnings (the SQL drivers' remarks about a
// connection that went away, which the archive already reports in Korean) are left out; categorised
// and critical messages pass.
QtMessageHandler g_defaultMessageHandler = nullptr;

void FilterQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool uncategorised = !context.category || qstrcmp(context.category, "default") == 0;
    if (type != QtCriticalMsg && type != QtFatalMsg && uncategorised)
        return;
    g_defaultMessageHandler(type, context, message);
}

// Drawing a chart (--pdf, --png, and serve's PDFs) needs the widget application, on the offscreen platform: the tool never
// shows a window and must work without a display. Everything else runs on the core application.
std::unique_ptr<QCoreApplication> MakeApplication(int &argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--pdf" || a == "--png" || a.startsWith("--pdf=") || a.startsWith("--png=") || a == "serve") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return std::make_unique<QApplication>(argc, argv);
        }
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char *argv[])
{
    g_defaultMessageHandler = qInstallMessageHandler(FilterQtMessages);
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tonvale-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains("--help") || arguments.contains("-h")) {
        PrintUsage(out);
        return kExitOk;
    }
    const std::optional<GlobalOptions> options = ParseGlobalOptions(arguments, err);
    if (!options) {
        PrintUsage(err);
        return kExitUsage;
    }
    const CliCommand *command = nullptr;
    for (const CliCommand &c : RegisteredCliCommands())
        if (options->command == QLatin1String(c.name))
            command = &c;
    if (!command) {
        err << "unknown command: " << options->command << Qt::endl;
        PrintUsage(err);
        return kExitUsage;
    }

    std::unique_ptr<Clock> clock;
    if (options->virtualTime)
        clock = std::make_unique<VirtualClock>(SystemClock().Now());
    else
        clock = std::make_unique<SystemClock>();

    std::unique_ptr<Simulation> simulation;
    std::unique_ptr<Ft260Device> device;
    std::unique_ptr<DeviceDiscovery> discovery;
    if (options->simulate) {
        Scenario scenario;
        if (!options->scenarioPath.isEmpty()) {
            QString error;
            std::optional<Scenario> loaded = Scenario::FromFile(options->scenarioPath, &error);
            if (!loaded) {
                err << error << Qt::endl;
                return kExitUsage;
            }
            scenario = *loaded;
        }
        simulation = std::make_unique<Simulation>(scenario, *clock);
    } else {
        device = MakeHidFt260Device(*clock);
        discovery = MakeHidDiscovery();
    }

    // Every packet on stderr, one packet-log line each.
    CliSession session(simulation ? simulation->Bridge() : *device, simulation ? simulation->Discovery() : *discovery,
                       *clock, options->log ? &err : nullptr);
    CliContext context{session, out, err, options->archive};
    return command->run(context, options->commandArguments);
}
