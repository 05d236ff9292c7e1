#include "ServerWatchdog.h"

#include <sys/socket.h>

ServerWatchdog::ServerWatchdog(std::chrono::milliseconds patience) : m_patience(patience) {}

ServerWatchdog::~ServerWatchdog()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void ServerWatchdog::Watch(int socket)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_depth++ == 0)
            m_cut = false;
        m_socket = socket;
        m_deadline = std::chrono::steady_clock::now() + m_patience;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

void ServerWatchdog::Release()
{
    const std::lock_guard lock(m_mutex);
    if (m_depth > 0 && --m_depth == 0) {
        m_deadline.reset();
        m_socket = -1;
    }
}

bool ServerWatchdog::Cut() const
{
    const std::lock_guard lock(m_mutex);
    return m_cut;
}

void ServerWatchdog::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_deadline) {
            m_wake.wait(lock);
            continue;
        }
        if (m_wake.wait_until(lock, *m_deadline) == std::cv_status::timeout && m_deadline &&
            std::chrono::steady_clock::now() >= *m_deadline) {
            // Shutting down (not closing) wakes the waiting call and leaves the descriptor to its owner.
            if (m_socket >= 0)
                ::shutdown(m_socket, SHUT_RDWR);
            m_cut = true;
            m_deadline.reset();
        }
    }
}
