#pragma once

#include <QString>

// The crash dump writer. One handler takes every fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) and every uncaught C++ exception, writes a text dump named after the local time,
// <dumpDir>YYYY-MM-DD_HH-MM-SS.dmp, and ends the process at once with exit code 0. A second crash in
// the same second replaces the earlier file. The dump holds the signal and fault address (or the
// exception), the faulting thread's stack trace and the process's memory map (the loaded modules).
//
// Inside the handler only async-signal-safe calls run, so everything else (the directory, the UTC
// offset for local time, the unwinder) is prepared at install time.
namespace CrashDump {

// Installs the handler, or points an installed one at another directory (which must end in '/').
// Returns false when dumpDir is too long to be used.
bool Install(const QString &dumpDir);

bool IsInstalled();

// Re-reads the local time zone's offset from UTC, which the handler uses for the file name. Call it
// now and then, so that a change of daylight saving time reaches the name.
void RefreshUtcOffset();

// Writes the file stem "YYYY-MM-DD_HH-MM-SS" of a time (seconds since 1970, UTC) shifted by an
// offset into out (at least 32 bytes), without the C library's time functions. Returns its length.
int FormatDumpStem(long long epochSeconds, long utcOffsetSeconds, char *out);

} // namespace CrashDump
