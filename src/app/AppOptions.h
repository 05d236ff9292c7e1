#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct AppOptions {
    bool simulate = false; // run against the simulated instrument instead of the USB bridge
    QString scenario;      // scenario file for the simulated instrument; empty: its default instrument
    bool help = false;
    bool version = false;
    QString error; // not empty when the command line could not be understood
};

// Parses the program's arguments (the first one is the program itself). Options the program does
// not know that start with "--" are an error; single-dash arguments and plain words are left to Qt
// (-platform, -style ...).
AppOptions ParseAppOptions(const QStringList &arguments);

QString AppUsageText(const QString &programName);
QString AppVersionText();
