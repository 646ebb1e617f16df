#include "exportsourcelook.h"

#include "exportsourcecheck.h"

#include <condition_variable>
#include <mutex>

namespace routereel {

// What the helper thread that asks the folders and the thread that waits for
// them share; the helper may outlive both the look and its waiter.
struct ExportSourceLook::Calls {
    std::mutex lock;
    std::condition_variable changed;
    int answered = 0;
    std::optional<ExportError> unreachable;
    bool done = false;     // every clip answered, or one was refused
    bool stopped = false;  // nobody waits any more: nothing more is asked
};

ExportSourceLook::ExportSourceLook(QStringList paths, std::chrono::milliseconds perCall, QObject *parent)
    : QObject(parent), m_paths(std::move(paths)), m_perCall(perCall), m_calls(std::make_shared<Calls>())
{
}

ExportSourceLook::~ExportSourceLook()
{
    {
        std::lock_guard guard(m_calls->lock);
        m_calls->stopped = true;
    }
    m_calls->changed.notify_all();
    if (m_waiter.joinable())
        m_waiter.join();
}

void ExportSourceLook::start()
{
    std::thread([calls = m_calls, paths = m_paths] {
        for (const QString &path : paths) {
            {
                std::lock_guard guard(calls->lock);
                if (calls->stopped)
                    return;
            }
            auto unreachable = exportsourcecheck::unreachableSource(path);
            std::lock_guard guard(calls->lock);
            ++calls->answered;
            calls->done = unreachable.has_value();
            calls->unreachable = std::move(unreachable);
            calls->changed.notify_all();
            if (calls->done)
                return;
        }
        std::lock_guard guard(calls->lock);
        calls->done = true;
        calls->changed.notify_all();
    }).detach();
    m_waiter = std::thread([this] { waitForAnswers(); });
}

void ExportSourceLook::waitForAnswers()
{
    std::unique_lock guard(m_calls->lock);
    Calls &calls = *m_calls;
    while (!calls.done) {
        const int before = calls.answered;
        const bool answered = calls.changed.wait_for(guard, m_perCall, [&] {
            return calls.answered != before || calls.done || calls.stopped;
        });
        if (calls.stopped)
            return;
        if (!answered) {
            calls.stopped = true;
            const ExportError unanswered = exportsourcecheck::unansweredSource(m_paths.at(before));
            QMetaObject::invokeMethod(this, [this, unanswered] { emit finished(unanswered); }, Qt::QueuedConnection);
            return;
        }
        const int now = calls.answered;
        QMetaObject::invokeMethod(this, [this, now] { emit looked(now); }, Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, [this, unreachable = calls.unreachable] { emit finished(unreachable); },
                              Qt::QueuedConnection);
}

} // namespace routereel
