#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace routereel::bench {

// Runs the event loop until `done` answers true, as an application's own loop
// would: asleep between events. A timed processEvents() spins instead and takes
// a core from what is being measured. The timer wakes it to ask `done` again.
// False when `deadline` passes first.
template <typename Predicate>
bool waitUntil(Predicate done, QDeadlineTimer deadline = QDeadlineTimer::Forever, int wakeMs = 5)
{
    QTimer wake;
    wake.start(wakeMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace routereel::bench
