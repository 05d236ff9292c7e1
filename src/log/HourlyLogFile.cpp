#include "HourlyLogFile.h"

#include "LocalTime.h"
#include "RegularFile.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

HourlyLogFile::HourlyLogFile(QString logDir) : m_logDir(std::move(logDir))
{
    if (!m_logDir.isEmpty() && !m_logDir.endsWith(QLatin1Char('/')))
        m_logDir += QLatin1Char('/');
}

QString HourlyLogFile::PathFor(qint64 secondsSince1970) const
{
    const auto f = LocalFieldsOf(secondsSince1970);
    if (!f)
        return QString();
    const QString day = QString::asprintf("%04d-%02d-%02d", f->year, f->month, f->day);
    return m_logDir + day + QLatin1Char('/') + day + QString::asprintf("_%02d_LOG.log", f->hour);
}

namespace {
bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}
} // namespace

bool HourlyLogFile::Append(const QString &line, qint64 secondsSince1970) const
{
    const QString path = PathFor(secondsSince1970);
    if (path.isEmpty())
        return false;
    const QString dir = path.left(path.lastIndexOf(QLatin1Char('/')));
    if (!QDir().mkpath(dir))
        return false;

    // Only an ordinary file: a named pipe in its place must not make the link wait.
    const int fd = RegularFile::Open(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, (line + QLatin1Char('\n')).toUtf8());
    ::close(fd);
    return ok;
}
