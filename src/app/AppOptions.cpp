#include "AppOptions.h"

#ifndef TONVALE_VERSION
#define TONVALE_VERSION "0.0.0"
#endif

AppOptions ParseAppOptions(const QStringList &arguments)
{
    AppOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--")) // everything after belongs to nobody
            break;
        if (arg == QLatin1String("--simulate")) {
            options.simulate = true;
        } else if (arg.startsWith(QLatin1String("--simulate="))) {
            options.simulate = true;
            options.scenario = arg.mid(int(sizeof("--simulate=")) - 1);
            if (options.scenario.isEmpty())
                options.error = QStringLiteral("--simulate= needs a scenario file");
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            options.error = QStringLiteral("unknown option: %1").arg(arg);
        }
        if (!options.error.isEmpty())
            break;
    }
    return options;
}

QString AppUsageText(const QString &programName)
{
    return QStringLiteral("Usage: %1 [options]\n"
                          "Desktop companion of the portable force meter.\n"
                          "\n"
                          "Options:\n"
                          "  --simulate[=SCENARIO]  use the simulated instrument instead of the USB bridge;\n"
                          "                         SCENARIO is a scenario file describing the instrument\n"
                          "  -h, --help             show this help and exit\n"
                          "  --version              show the version and exit\n")
        .arg(programName);
}

QString AppVersionText()
{
    return QStringLiteral("tonvale %1").arg(QLatin1String(TONVALE_VERSION));
}
