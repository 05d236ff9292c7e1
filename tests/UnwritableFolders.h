#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// Folders where writing fails as it does on an operator's machine, for as long as the object lives.

// A folder this process may not write to, root included: root ignores permission bits, so for root
// the folder is bind-mounted read-only onto itself; anyone else gets the permission bits. Ok() is
// false when neither could be done.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const QString &path) : m_path(QFile::encodeName(path))
    {
        const char *p = m_path.constData();
        if (::geteuid() != 0) {
            m_chmodded = m_ok = ::chmod(p, 0555) == 0;
            return;
        }
        m_mounted = ::mount(p, p, nullptr, MS_BIND, nullptr) == 0;
        m_ok = m_mounted && ::mount(nullptr, p, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
        if (m_chmodded)
            ::chmod(m_path.constData(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;
    bool Ok() const { return m_ok; }

  private:
    QByteArray m_path;
    bool m_mounted = false;
    bool m_chmodded = false;
    bool m_ok = false;
};

// A small file system (tmpfs) mounted on an empty folder; only root may mount one. Fill() then takes
// its last free byte, Free() gives the space back.
class SmallDisk {
  public:
    explicit SmallDisk(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_mounted = ::geteuid() == 0 && ::mount("tonvale-test", m_path.constData(), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool Mounted() const { return m_mounted; }

    // True once a write has failed for want of space.
    bool Fill()
    {
        const int fd = ::open(FillerPath().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'x');
        bool full = false;
        // Whole blocks first, then single bytes for what is left of the last page.
        for (int chunk : {4096, 1}) {
            ssize_t n;
            while ((n = ::write(fd, block.constData(), static_cast<size_t>(chunk))) == chunk) {
            }
            full = n < 0 && errno == ENOSPC;
        }
        ::close(fd);
        return full;
    }
    void Free() { ::unlink(FillerPath().constData()); }

  private:
    QByteArray FillerPath() const { return m_path + "/filler"; }

    QByteArray m_path;
    bool m_mounted = false;
};
