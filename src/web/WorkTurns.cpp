#include "WorkTurns.h"

void WorkTurns::Enter()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_nextTicket++;
    m_changed.wait(lock, [&] { return ticket == m_nextAdmitted && m_running < m_atOnce; });
    ++m_nextAdmitted;
    ++m_running;
    // The next ticket may fit in a slot that is still free.
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
