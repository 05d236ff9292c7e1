#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

// Bounds the time a connection may take to send a request's head, whatever its pace: the HTTP library bounds
// each read only, so a client sending a header line every few seconds would keep a worker for as long as it
// likes. Each accepted connection gets a deadline (from its accept, and again after each answer, for the next
// request); a connection that has not reached the pages by then is shut down, which ends the library's wait
// on it. Connections are told apart by their socket's inode, so that a number the system hands out again is
// never taken for the connection that had it.
class ConnectionWatchdog {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ConnectionWatchdog(std::chrono::milliseconds bound);
    ~ConnectionWatchdog();
    ConnectionWatchdog(const ConnectionWatchdog &) = delete;
    ConnectionWatchdog &operator=(const ConnectionWatchdog &) = delete;

    // The port the server listens on (its accepted connections have it as their local port).
    void SetPort(int port);
    // On the accepting thread, right after an accept: finds the connection just accepted and starts its
    // deadline; its id, or 0 when none was found (then it is not watched).
    quint64 Accepted();
    // The connection's request has reached the pages: no deadline while it is answered.
    void Routed(quint64 id);
    // Its answer is written: the next request's head must come within the bound.
    void Answered(quint64 id);
    void Closed(quint64 id);

  private:
    struct Connection {
        int fd = -1;
        quint64 inode = 0;
        std::optional<Clock::time_point> deadline;
    };
    void Watch();

    const std::chrono::milliseconds m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    int m_port = 0;
    quint64 m_nextId = 1;
    std::map<quint64, Connection> m_connections;
    std::set<quint64> m_inodes;
    std::thread m_thread;
};
