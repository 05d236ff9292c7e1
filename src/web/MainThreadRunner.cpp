#include "MainThreadRunner.h"

#include <QCoreApplication>

void MainThreadRunner::Run(const std::function<void()> &work)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_nextTicket++;
    m_turn.wait(lock, [&] { return m_serving == ticket; });
    lock.unlock();
    QMetaObject::invokeMethod(m_application, work, Qt::BlockingQueuedConnection);
    lock.lock();
    ++m_serving;
    m_turn.notify_all();
}
