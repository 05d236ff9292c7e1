#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

// Hands work to the thread this object lives on. Any thread posts a task; the task, with everything
// it captured, waits in a queue guarded by a std::mutex, and the queued call that wakes this thread
// carries no arguments. So each hand-off is ordered by a lock a thread checker can see, which Qt's own
// event queue is not when Qt is not built for one.
class Mailbox : public QObject {
    Q_OBJECT
  public:
    using Task = std::function<void()>;

    explicit Mailbox(QObject *parent = nullptr);
    // Tasks never run are dropped with whatever they captured.
    ~Mailbox() override;

    // Any thread: `task` runs on this object's thread after every task posted before it, and is
    // destroyed there.
    void Post(Task task);
    // This object's thread: runs now the tasks posted so far (their wake-ups then find nothing), for a
    // thread that may not return to its event loop before the process ends.
    void RunPosted();

  private:
    Q_INVOKABLE void RunNext();

    std::mutex m_lock;
    std::deque<Task> m_tasks;
};
