// The register window on an archive: register_window_demo sqlite:PATH [PRESS-ID]. With a press, its
// history window opens as well. For trying it by hand and for screenshots.
#include "AppPalette.h"
#include "DarkTheme.h"
#include "RegisterWindow.h"

#include <QApplication>
#include <QDateTime>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DarkTheme::Apply(app, AppPalette{}); // the look the program gives every window
    const std::optional<ArchiveLocation> location = ParseArchiveLocation(app.arguments().value(1), nullptr);
    if (!location)
        return 2;
    RegisterWindow window(*location, {}, [] { return QDateTime::currentSecsSinceEpoch(); });
    window.show();
    if (argc > 2)
        window.OpenPress(app.arguments().value(2));
    return app.exec();
}
