#include "projectfilequeue.h"

namespace routereel {

QThreadPool &ProjectFileQueue::pool()
{
    // Never destroyed: a write stuck on a dead disk must not hold the process at exit.
    static QThreadPool *queue = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(-1);
        return p;
    }();
    return *queue;
}

bool ProjectFileQueue::waitForIdle(int milliseconds)
{
    return pool().waitForDone(milliseconds);
}

} // namespace routereel
