#pragma once

#include "ArchiveLocation.h"
#include "MeasurementArchive.h"
#include "PressRegister.h"

#include <QObject>

#include <functional>
#include <memory>

// The register's windows reach the archive off the GUI thread: each job opens its own connection on a thread
// of its own, does its work there, closes it, and hands its answer (or the Korean reason it failed) back to
// the GUI thread, where `done` runs only while `receiver` lives. Every hand-off goes through a std::mutex
// (Mailbox) or the thread's start, so a thread checker sees it ordered. The program's end waits, bounded,
// for jobs still running.
template <typename T> struct RegisterAnswer {
    std::optional<T> value;
    QString error;
};

namespace register_jobs {

// Where a job's answer goes: a task posted to the receiver's thread while the receiver lives, dropped after.
class AnswerBox {
  public:
    explicit AnswerBox(QObject *receiver);
    // Any thread: `task` runs on the receiver's thread if the receiver still lives.
    void Post(std::function<void()> task);

  private:
    class Guard;
    std::shared_ptr<struct AnswerBoxState> m_state;
};

// Runs `work` on a thread of its own, counted until it ends.
void Start(std::function<void()> work);

// An archive opened for `purpose` and the register over it; the Korean reason when it cannot be opened.
RegisterAnswer<bool> OpenRegister(MeasurementArchive &archive, MeasurementArchive::Purpose purpose);

} // namespace register_jobs

template <typename T>
void RunRegisterJob(QObject *receiver, const ArchiveLocation &location, MeasurementArchive::Purpose purpose,
                    std::function<std::optional<T>(PressRegister &)> job,
                    std::function<void(const RegisterAnswer<T> &)> done)
{
    register_jobs::AnswerBox box(receiver);
    register_jobs::Start([box, location, purpose, job, done]() mutable {
        RegisterAnswer<T> answer;
        MeasurementArchive archive(location);
        const RegisterAnswer<bool> opened = register_jobs::OpenRegister(archive, purpose);
        if (!opened.value) {
            answer.error = opened.error;
        } else {
            PressRegister presses(archive);
            answer.value = job(presses);
            if (!answer.value)
                answer.error = presses.Failure();
        }
        box.Post([done, answer] { done(answer); });
    });
}
