#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QtConcurrent>

namespace testsupport {

// Runs the event loop until `done()` holds or `milliseconds` pass (negative:
// no limit); returns done(). It sleeps between events as an application's own
// loop does, so it takes no core from what runs meanwhile; a timer wakes it
// every `wakeMs` to ask `done` again.
template <typename Predicate>
bool waitFor(Predicate done, int milliseconds = 5000, int wakeMs = 5)
{
    const QDeadlineTimer deadline(milliseconds);
    QTimer wake;
    wake.start(wakeMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs `work` on a pool thread while this thread keeps answering events (pages,
// queued calls the work waits for); returns the work's result.
template <typename Work>
auto runInBackground(Work work)
{
    auto future = QtConcurrent::run(std::move(work));
    waitFor([&] { return future.isFinished(); }, -1);
    return future.result();
}

} // namespace testsupport
