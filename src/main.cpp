// The program: reads the command line, then runs the application object with the operator's main
// window on the USB bridge or, with --simulate, on the simulated instrument.
#include "AppOptions.h"
#include "CTonvaleApp.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <memory>

#include "CDlgHistory.h"
#include "CTonvaleDlg.h"
#include "Clock.h"
#include "HidBridge.h"
#include "Simulation.h"

namespace {

void Print(FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString program = QFileInfo(arguments.value(0, QStringLiteral("tonvale"))).fileName();

    // Help, version and mistakes are answered before any window exists, so they work without a display.
    const AppOptions options = ParseAppOptions(arguments);
    if (!options.error.isEmpty()) {
        Print(stderr, program + QStringLiteral(": ") + options.error + QLatin1Char('\n') + AppUsageText(program));
        return 2;
    }
    if (options.help) {
        Print(stdout, AppUsageText(program));
        return 0;
    }
    if (options.version) {
        Print(stdout, AppVersionText() + QLatin1Char('\n'));
        return 0;
    }

    Scenario scenario;
    if (!options.scenario.isEmpty()) {
        QString error;
        const std::optional<Scenario> loaded = Scenario::FromFile(options.scenario, &error);
        if (!loaded) {
            Print(stderr, program + QStringLiteral(": ") + options.scenario + QStringLiteral(": ") + error + '\n');
            return 2;
        }
        scenario = *loaded;
    }

    // While TZ is unset the C library looks at the zone file again for every local time it works out
    // (each downloaded record); naming the system's zone once keeps that in memory.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    tzset();

    QApplication qapp(argc, argv);
    // The desktop entry tonvale.desktop, whose icon and Korean name the desktop shows for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("tonvale"));
    CTonvaleApp &app = TonvaleApp();
    app.options = options;

    SystemClock clock;
    std::unique_ptr<Simulation> simulation;
    std::unique_ptr<Ft260Device> hidDevice;
    std::unique_ptr<DeviceDiscovery> hidDiscovery;
    Ft260Device *device = nullptr;
    DeviceDiscovery *discovery = nullptr;
    if (options.simulate) {
        simulation = std::make_unique<Simulation>(scenario, clock);
        device = &simulation->Bridge();
        discovery = &simulation->Discovery();
    } else {
        hidDevice = MakeHidFt260Device(clock);
        hidDiscovery = MakeHidDiscovery();
        device = hidDevice.get();
        discovery = hidDiscovery.get();
    }
    const int code = app.Run([&]() -> std::unique_ptr<QDialog> {
        auto window = std::make_unique<CTonvaleDlg>(*device, *discovery, clock, app.sysInfo);
        if (!simulation)
            window->SetOpenFailureAdvice(HidOpenFailureAdvice);
        return window;
    });
    // A history window closed during a read left its reader to finish; the program ends after it, or soon.
    CDlgHistory::WaitForReaders(std::chrono::seconds(10));
    return code;
}
