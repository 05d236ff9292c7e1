#include "RegisterJobs.h"

#include "Mailbox.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace register_jobs {

struct AnswerBoxState {
    std::mutex lock;
    Mailbox *mailbox = nullptr; // null once the receiver has gone
};

// The receiver's child: forgets the mailbox before it goes, so that no answer reaches a receiver being destroyed.
class AnswerBox::Guard final : public Mailbox {
  public:
    Guard(QObject *receiver, std::shared_ptr<AnswerBoxState> state) : Mailbox(receiver), m_state(std::move(state))
    {
        m_state->mailbox = this;
    }
    ~Guard() override
    {
        const std::lock_guard lock(m_state->lock);
        m_state->mailbox = nullptr;
    }

  private:
    std::shared_ptr<AnswerBoxState> m_state;
};

AnswerBox::AnswerBox(QObject *receiver) : m_state(std::make_shared<AnswerBoxState>())
{
    new Guard(receiver, m_state);
}

void AnswerBox::Post(std::function<void()> task)
{
    const std::lock_guard lock(m_state->lock);
    if (!m_state->mailbox)
        return;
    Mailbox *mailbox = m_state->mailbox;
    // The answer's task runs once; the mailbox goes with it.
    mailbox->Post([mailbox, task] {
        task();
        mailbox->deleteLater();
    });
}

namespace {

std::atomic<int> g_running{0};

// The application's end waits this long at most for jobs still on the archive (a server's connect time-out
// and some), so that none outlives what it uses.
void WaitForJobs()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (g_running.load() > 0 && std::chrono::steady_clock::now() < deadline)
        QThread::msleep(20);
}

} // namespace

void Start(std::function<void()> work)
{
    static std::once_flag waitAtEnd;
    std::call_once(waitAtEnd, [] { qAddPostRoutine(WaitForJobs); });
    ++g_running;
    std::thread([work = std::move(work)]() mutable {
        work();
        work = nullptr; // what it captured goes before the job counts as ended
        --g_running;
    }).detach();
}

RegisterAnswer<bool> OpenRegister(MeasurementArchive &archive, MeasurementArchive::Purpose purpose)
{
    RegisterAnswer<bool> answer;
    if (archive.Open(purpose)) {
        answer.value = true;
        return answer;
    }
    answer.error = archive.LastError().kind == ArchiveError::Kind::Missing
                       ? QStringLiteral("아직 보관된 기록이 없습니다")
                       : QStringLiteral("설비 대장 열기 실패 - %1: %2")
                             .arg(archive.LastError().Reason(), archive.Location().Describe());
    return answer;
}

} // namespace register_jobs
