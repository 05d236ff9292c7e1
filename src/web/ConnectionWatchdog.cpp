#include "ConnectionWatchdog.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace {

constexpr auto kTick = std::chrono::milliseconds(200);

// The inode of fd's socket, or 0 when fd is not a socket.
quint64 SocketInode(int fd)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode))
        return 0;
    return quint64(status.st_ino);
}

// Whether fd is a connection accepted on port (not the listening socket itself).
bool AcceptedOnPort(int fd, int port)
{
    int listening = 0;
    socklen_t size = sizeof listening;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
        return false;
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return false;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port) == port;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port) == port;
    return false;
}

} // namespace

ConnectionWatchdog::ConnectionWatchdog(std::chrono::milliseconds bound) : m_bound(bound), m_thread([this] { Watch(); })
{
}

ConnectionWatchdog::~ConnectionWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ConnectionWatchdog::SetPort(int port)
{
    std::lock_guard lock(m_mutex);
    m_port = port;
}

quint64 ConnectionWatchdog::Accepted()
{
    std::lock_guard lock(m_mutex);
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return 0;
    quint64 id = 0;
    while (const dirent *entry = ::readdir(fds)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(fds))
            continue;
        const quint64 inode = SocketInode(int(fd));
        if (inode == 0 || m_inodes.count(inode) || !AcceptedOnPort(int(fd), m_port))
            continue;
        id = m_nextId++;
        m_connections[id] = {int(fd), inode, Clock::now() + m_bound};
        m_inodes.insert(inode);
        break;
    }
    ::closedir(fds);
    return id;
}

void ConnectionWatchdog::Routed(quint64 id)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_connections.find(id); it != m_connections.end())
        it->second.deadline.reset();
}

void ConnectionWatchdog::Answered(quint64 id)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_connections.find(id); it != m_connections.end())
        it->second.deadline = Clock::now() + m_bound;
}

void ConnectionWatchdog::Closed(quint64 id)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_connections.find(id); it != m_connections.end()) {
        m_inodes.erase(it->second.inode);
        m_connections.erase(it);
    }
}

void ConnectionWatchdog::Watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kTick);
        const Clock::time_point now = Clock::now();
        for (auto &[id, connection] : m_connections) {
            if (!connection.deadline || *connection.deadline > now)
                continue;
            connection.deadline.reset();
            // Only the socket it was: the number may belong to another file since the library closed it.
            if (SocketInode(connection.fd) == connection.inode)
                ::shutdown(connection.fd, SHUT_RDWR);
        }
    }
}
