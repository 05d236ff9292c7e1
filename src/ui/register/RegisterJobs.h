#pragma once

#include "ArchiveLocation.h"
#include "MeasurementArchive.h"
#include "PressRegister.h"

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent>

#include <functional>
#include <memory>

// The register's windows reach the archive off the GUI thread: each job opens its own connection on a pool
// thread, does its work there, closes it, and hands its answer (or the Korean reason it failed) back to the
// GUI thread, where `done` runs only while `receiver` lives.
template <typename T> struct RegisterAnswer {
    std::optional<T> value;
    QString error;
};

template <typename T>
void RunRegisterJob(QObject *receiver, const ArchiveLocation &location, MeasurementArchive::Purpose purpose,
                    std::function<std::optional<T>(PressRegister &)> job,
                    std::function<void(const RegisterAnswer<T> &)> done)
{
    auto *watcher = new QFutureWatcher<RegisterAnswer<T>>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver, [watcher, done] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([location, purpose, job] {
        RegisterAnswer<T> answer;
        MeasurementArchive archive(location);
        if (!archive.Open(purpose)) {
            answer.error = archive.LastError().kind == ArchiveError::Kind::Missing
                               ? QStringLiteral("아직 보관된 기록이 없습니다")
                               : QStringLiteral("설비 대장 열기 실패 - %1: %2")
                                     .arg(archive.LastError().Reason(), location.Describe());
            return answer;
        }
        PressRegister presses(archive);
        answer.value = job(presses);
        if (!answer.value)
            answer.error = presses.Failure();
        return answer;
    }));
}
