#include "Mailbox.h"

Mailbox::Mailbox(QObject *parent) : QObject(parent) {}

Mailbox::~Mailbox()
{
    std::deque<Task> dropped;
    std::lock_guard<std::mutex> lock(m_lock);
    dropped.swap(m_tasks);
}

void Mailbox::Post(Task task)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_tasks.push_back(std::move(task));
    // One wake-up per task, so the tasks interleave with the thread's other events as queued calls do. Made
    // under the lock: the task that runs may end this object's thread and so this object, and only the lock
    // orders that after this call's last use of it where a thread checker can see.
    QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void Mailbox::RunPosted()
{
    std::deque<Task> posted;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        posted.swap(m_tasks);
    }
    for (Task &task : posted) {
        task();
        task = nullptr;
    }
}

void Mailbox::RunNext()
{
    Task task;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_tasks.empty())
            return;
        task = std::move(m_tasks.front());
        m_tasks.pop_front();
    }
    task();
}
