#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace routereel {

// Where the project roads read and write their files: one worker for the whole
// process, off the window's thread, so that reads and writes happen in the order
// they were asked for (an Open after a Save reads what the Save wrote).
class ProjectFileQueue {
public:
    template <typename Work>
    static auto run(Work work)
    {
        return QtConcurrent::run(&pool(), std::move(work));
    }
    // Waits for everything queued, at most `milliseconds`; false when still busy.
    static bool waitForIdle(int milliseconds);

private:
    static QThreadPool &pool();
};

} // namespace routereel
