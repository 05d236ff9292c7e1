#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class QCoreApplication;

// Runs work on the application's main thread for the server's threads, one piece at a time and in the order
// asked. One at a time matters: drawing a chart delivers the main thread's posted events, so a second piece
// already posted would run inside the first, and a queue of them would finish last-come first-served.
class MainThreadRunner {
  public:
    explicit MainThreadRunner(QCoreApplication *application) : m_application(application) {}
    // Blocks the calling thread (never the main thread itself) until work has run.
    void Run(const std::function<void()> &work);

  private:
    QCoreApplication *m_application;
    std::mutex m_mutex;
    std::condition_variable m_turn;
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_serving = 0;
};
