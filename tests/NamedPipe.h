#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

// A named pipe that nobody writes to, standing where a program expects a file.
inline bool MakeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Runs call on another thread and tells whether it came back without waiting on the pipe at pipePath.
// A call that refuses the pipe returns at once. One that opened it would wait for a writer for ever:
// after a few seconds a writer comes and goes to set it free (it then reads an empty pipe), and the
// answer is false.
template <typename Call> bool ReturnsWithoutWaitingOnPipe(const QString &pipePath, Call call)
{
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return true;
    const int writer = ::open(QFile::encodeName(pipePath).constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
    done.wait();
    return false;
}
