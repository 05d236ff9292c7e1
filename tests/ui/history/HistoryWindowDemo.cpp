// Shows the history window on an archive, for trying it by hand and for screenshots:
//   history_window_demo sqlite:PATH | postgresql://...
#include "AppPalette.h"
#include "CDlgHistory.h"
#include "DarkTheme.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    DarkTheme::Apply(app, AppPalette{}); // the look the program gives every window
    QString error;
    const std::optional<ArchiveLocation> location =
        ParseArchiveLocation(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(), &error);
    if (!location) {
        QTextStream(stderr) << error << Qt::endl;
        return 2;
    }
    CDlgHistory dialog(*location);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
