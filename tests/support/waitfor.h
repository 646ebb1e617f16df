#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

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

} // namespace testsupport
