#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QtConcurrent>

#include <limits>

namespace testsupport {

// Runs the event loop until `done()` holds or `milliseconds` pass; returns done().
template <typename Predicate>
bool waitFor(Predicate done, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs `work` on a pool thread while this thread keeps answering events (pages,
// queued calls the work waits for); returns the work's result.
template <typename Work>
auto runInBackground(Work work)
{
    auto future = QtConcurrent::run(std::move(work));
    waitFor([&] { return future.isFinished(); }, std::numeric_limits<int>::max());
    return future.result();
}

} // namespace testsupport
