#pragma once

#include <QStringList>
#include <QTextStream>

#include <optional>

struct ArchiveError;
struct ArchiveSettings;

class CliSession;

// --database URL and --no-archive.
struct CliArchiveOptions {
    bool disabled = false;
    QString databaseUrl; // empty: [ARCHIVE] DATABASE= of the INI file, else archive.sqlite beside it
};

// What every command of tonvale-cli gets: the instrument session on the real or the simulated bridge,
// the output streams and the archive options.
struct CliContext {
    CliSession &session;
    QTextStream &out;
    QTextStream &err;
    CliArchiveOptions archive;

    // Where downloads are archived and where they wait for the server. A bad [ARCHIVE] DATABASE= turns
    // archiving off with a notice on err (the download itself goes on).
    ArchiveSettings ArchiveSettingsOrOff();

    // Finds the bridge and opens the link; on failure prints the result text (and how to give this user
    // access to a bridge it may not open) and returns false.
    bool Connect();
    // Prints the text of result code `code` on stderr and returns the failure exit status.
    int Fail(int code);
};

// The database's own text of an archive failure on its own line (nothing when there is none), after the
// Korean line that told the operator.
void PrintArchiveDetail(QTextStream &err, const ArchiveError &error);

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitInstrumentFailed = 1;
constexpr int kExitUsage = 2;

using CliCommandFunction = int (*)(CliContext &context, const QStringList &arguments);

struct CliCommand {
    const char *name;
    const char *usage; // the command's own arguments, for the usage text
    CliCommandFunction run;
};

// Each command registers itself from its own source file with a static CliCommandRegistration.
struct CliCommandRegistration {
    CliCommandRegistration(const char *name, const char *usage, CliCommandFunction run);
};

const QList<CliCommand> &RegisteredCliCommands();

// The program's INI file: named after the windowed program, which lives beside this tool. Its folder
// holds the default archive.
QString ProgramIniPath();

// A text as one TSV field: tabs, line breaks and backslashes escaped, so that no text makes a line.
QString TsvText(QString text);
