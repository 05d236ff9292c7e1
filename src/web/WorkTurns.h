#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Lets at most `atOnce` pieces of work run together and admits the others in the order they asked. With
// every connection thread drawing at once, a 2-core server shares its time among dozens of requests and each
// waits for all of them; taking turns, a request waits only for those that came before it.
class WorkTurns {
  public:
    explicit WorkTurns(int atOnce) : m_atOnce(atOnce < 1 ? 1 : atOnce) {}

    // Held for the work's duration: blocks until it is the caller's turn.
    class Turn {
      public:
        explicit Turn(WorkTurns &turns);
        ~Turn();
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;

      private:
        WorkTurns &m_turns;
        WorkTurns *m_outer;
    };

    // While it lives, the turn this thread holds (if any) is left to others: for waiting on something other
    // than this computer's processors, such as a database server across the network. The turn is taken back
    // when it ends, ahead of work that has not had one yet.
    class Away {
      public:
        Away();
        ~Away();
        Away(const Away &) = delete;
        Away &operator=(const Away &) = delete;

      private:
        WorkTurns *m_turns;
    };

  private:
    void Enter();
    void Leave();
    void Return();

    const int m_atOnce;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_nextAdmitted = 0;
    int m_running = 0;
    int m_returning = 0;
};
