#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Gives up on a server that stops answering. libpq waits for an answer as long as the connection stays
// open, and a server (or a link) that takes the bytes and never answers keeps it open for ever; the
// keepalives see nothing wrong with such a peer. While a call is watched, the watchdog's own thread shuts
// the connection's socket down once the call has waited `patience`: the waiting call then fails at once
// as a lost connection, and the caller goes on as it does when the server goes away.
//
// Watch and Release belong to the thread that uses the connection; the socket stays open (the
// connection is not closed) between them, so the watchdog never touches a socket that was reused.
class ServerWatchdog {
  public:
    explicit ServerWatchdog(std::chrono::milliseconds patience);
    ~ServerWatchdog();
    ServerWatchdog(const ServerWatchdog &) = delete;
    ServerWatchdog &operator=(const ServerWatchdog &) = delete;

    // From now on the server must answer on `socket` within the patience; a nested Watch starts the
    // patience again, and only the outermost Release ends the watch.
    void Watch(int socket);
    void Release();
    // True when the watchdog cut the connection since the last Watch of an unwatched connection.
    bool Cut() const;
    std::chrono::milliseconds Patience() const { return m_patience; }

  private:
    void Run();

    const std::chrono::milliseconds m_patience;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_depth = 0;
    int m_socket = -1;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    bool m_cut = false;
    bool m_stop = false;
    std::thread m_thread; // started at the first Watch
};
