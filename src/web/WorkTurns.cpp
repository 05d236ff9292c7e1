#include "WorkTurns.h"

namespace {

// The turns whose turn this thread holds.
thread_local WorkTurns *t_held = nullptr;

} // namespace

WorkTurns::Turn::Turn(WorkTurns &turns) : m_turns(turns), m_outer(t_held)
{
    m_turns.Enter();
    t_held = &m_turns;
}

WorkTurns::Turn::~Turn()
{
    t_held = m_outer;
    m_turns.Leave();
}

WorkTurns::Away::Away() : m_turns(t_held)
{
    if (m_turns)
        m_turns->Leave();
}

WorkTurns::Away::~Away()
{
    if (m_turns)
        m_turns->Return();
}

void WorkTurns::Enter()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_nextTicket++;
    m_changed.wait(lock, [&] { return ticket == m_nextAdmitted && m_running < m_atOnce && m_returning == 0; });
    ++m_nextAdmitted;
    ++m_running;
    // The next ticket may fit in a slot that is still free.
    m_changed.notify_all();
}

void WorkTurns::Return()
{
    std::unique_lock lock(m_mutex);
    ++m_returning;
    m_changed.wait(lock, [&] { return m_running < m_atOnce; });
    --m_returning;
    ++m_running;
    m_changed.notify_all();
}

void WorkTurns::Leave()
{
    {
        std::lock_guard lock(m_mutex);
        --m_running;
    }
    m_changed.notify_all();
}
