#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

int Open(const QString &path, int flags, unsigned mode)
{
    if (path.isEmpty())
        return -1;
    // O_NONBLOCK: a pipe opens (or fails) at once instead of waiting for its other end; the check below
    // then turns it away. On a regular file the flag changes nothing, and it is cleared again.
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), flags | O_NONBLOCK | O_CLOEXEC, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool OpenForReading(QFile &file)
{
    const int fd = Open(file.fileName(), O_RDONLY);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace RegularFile
