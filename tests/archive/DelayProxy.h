#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

// A TCP proxy on the loopback interface that passes every byte on to a Unix socket `delay` later, in
// each direction: a server on the far side of a network link, for measuring what its round trips cost.
// Silenced, it is a server (or a link) that stops answering: every connection, old or new, stays open
// and passes nothing either way until the silence ends.
class DelayProxy {
  public:
    DelayProxy(std::string unixSocket, std::chrono::milliseconds delay)
        : m_target(std::move(unixSocket)), m_delay(delay)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 16) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { Accept(); });
    }

    ~DelayProxy()
    {
        m_stop = true;
        if (m_acceptor.joinable())
            m_acceptor.join();
        for (std::thread &thread : m_threads)
            thread.join();
        for (int fd : m_sockets)
            ::close(fd);
        if (m_listener >= 0)
            ::close(m_listener);
    }

    int Port() const { return m_port; } // 0: the proxy could not listen
    void SetSilent(bool silent) { m_silent = silent; }

  private:
    using Clock = std::chrono::steady_clock;

    void Accept()
    {
        while (!m_stop) {
            pollfd ready{m_listener, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            const int server = ConnectTarget();
            if (server < 0) {
                ::close(client);
                continue;
            }
            m_sockets.push_back(client);
            m_sockets.push_back(server);
            m_threads.emplace_back([this, client, server] { Pump(client, server); });
            m_threads.emplace_back([this, client, server] { Pump(server, client); });
        }
    }

    int ConnectTarget() const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_target.c_str(), sizeof address.sun_path - 1);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    // Reads from `from` as bytes come and writes each chunk to `to` once it is `delay` old.
    void Pump(int from, int to)
    {
        std::deque<std::pair<Clock::time_point, std::string>> pending;
        bool open = true;
        while (!m_stop && (open || !pending.empty())) {
            if (m_silent) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            int waitMs = 50;
            if (!pending.empty()) {
                const auto due = pending.front().first - Clock::now();
                waitMs = int(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(due).count()));
            }
            pollfd ready{from, short(open ? POLLIN : 0), 0};
            if (::poll(&ready, 1, waitMs) > 0 && (ready.revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[65536];
                const ssize_t n = ::read(from, buffer, sizeof buffer);
                if (n <= 0)
                    open = false;
                else
                    pending.emplace_back(Clock::now() + m_delay, std::string(buffer, size_t(n)));
            }
            // Silence holds what was read during the wait too: nothing passes once it is set.
            while (!m_silent && !pending.empty() && pending.front().first <= Clock::now()) {
                const std::string &chunk = pending.front().second;
                for (size_t sent = 0; sent < chunk.size();) {
                    const ssize_t n = ::write(to, chunk.data() + sent, chunk.size() - sent);
                    if (n <= 0)
                        return;
                    sent += size_t(n);
                }
                pending.pop_front();
            }
        }
        ::shutdown(to, SHUT_WR);
    }

    std::string m_target;
    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::thread m_acceptor;
    std::vector<int> m_sockets;         // the acceptor's, until it has ended
    std::vector<std::thread> m_threads; // the pumps: the acceptor's, until it has ended
};
