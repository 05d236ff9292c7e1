#pragma once

#include <QString>

class QFile;

// Opening a path that should name an ordinary file. Whatever else stands there (a named pipe, a device,
// a directory) is refused before anything could wait on it: open() of a pipe that nobody writes would
// block for ever. Used for every file the program reads or appends to by a fixed name: help.dat, the
// INI file, firmware images and the packet log.
namespace RegularFile {

// A descriptor of path opened with flags (O_RDONLY, O_WRONLY | O_APPEND | O_CREAT, ...), close-on-exec;
// -1 when it cannot be opened or is not a regular file. The caller closes it.
int Open(const QString &path, int flags, unsigned mode = 0644);

// Opens file (by its fileName()) for reading when it names a regular file; false otherwise.
bool OpenForReading(QFile &file);

} // namespace RegularFile
