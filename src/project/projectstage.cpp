#include "projectstage.h"

#include "projectfilequeue.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>

#include <algorithm>

namespace routereel {

struct ProjectStage::Entry {
    enum class Kind { read, command, commandWhenRestored };
    Kind kind = Kind::command;
    QFuture<void> done;
    QFutureWatcher<void> watcher;
    std::function<void()> run;
    QString what;

    bool isRead() const { return kind == Kind::read; }
};

ProjectStage::ProjectStage(QObject *parent)
    : QObject(parent)
{
}

ProjectStage::~ProjectStage()
{
    abandon();
}

QStringList ProjectStage::abandon()
{
    const QStringList left = unfinished();
    // Reads still on the queue finish there; nobody applies them.
    for (const auto &entry : m_queue)
        entry->watcher.disconnect(this);
    for (const Hold &hold : m_holds)
        hold.watcher->disconnect(this);
    m_queue.clear();
    m_holds.clear();
    return left;
}

QStringList ProjectStage::unfinished() const
{
    QStringList left;
    for (const Hold &hold : m_holds) {
        if (!hold.watcher->future().isFinished())
            left << hold.what;
    }
    for (const auto &entry : m_queue)
        left << entry->what;
    return left;
}

ProjectStage::Stage ProjectStage::stage() const
{
    if (m_applying)
        return Stage::applying;
    if (isReading())
        return Stage::reading;
    if (m_restoring)
        return Stage::restoring;
    return Stage::ready;
}

bool ProjectStage::isReading() const
{
    return std::any_of(m_queue.begin(), m_queue.end(), [](const auto &entry) { return entry->isRead(); });
}

void ProjectStage::queueRead(QFuture<void> done, std::function<void()> apply, const QString &what)
{
    auto entry = std::make_unique<Entry>();
    entry->what = what;
    entry->kind = Entry::Kind::read;
    entry->done = done;
    entry->run = std::move(apply);
    connect(&entry->watcher, &QFutureWatcherBase::finished, this, &ProjectStage::advance);
    entry->watcher.setFuture(done);
    add(std::move(entry));
}

void ProjectStage::whenRead(std::function<void()> command, const QString &what)
{
    if (mayRunAtOnce()) {
        command();
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->what = what;
    entry->run = std::move(command);
    add(std::move(entry));
}

void ProjectStage::whenReady(std::function<void()> command, const QString &what)
{
    if (mayRunAtOnce() && !m_restoring) {
        command();
        return;
    }
    auto entry = std::make_unique<Entry>();
    entry->what = what;
    entry->kind = Entry::Kind::commandWhenRestored;
    entry->run = std::move(command);
    add(std::move(entry));
}

void ProjectStage::add(std::unique_ptr<Entry> entry)
{
    if (m_nested) {
        const std::size_t at = std::min(m_insertAt++, m_queue.size());
        m_queue.insert(m_queue.begin() + qsizetype(at), std::move(entry));
    } else {
        m_queue.push_back(std::move(entry));
    }
    emit stageChanged();
    advance();
}

void ProjectStage::setRestoring(QObject *task)
{
    m_restoring = task;
    if (task) {
        // Queued: the restore's last changes are made before its task goes.
        connect(task, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &ProjectStage::advance); });
    }
    emit stageChanged();
}

void ProjectStage::holdUntil(QFuture<void> settled, const QString &what)
{
    if (settled.isFinished())
        return;
    auto watcher = std::make_unique<QFutureWatcher<void>>();
    connect(watcher.get(), &QFutureWatcherBase::finished, this, &ProjectStage::advance);
    watcher->setFuture(settled);
    m_holds.push_back({std::move(watcher), what});
    emit stageChanged();
}

bool ProjectStage::isHeld() const
{
    return std::any_of(m_holds.begin(), m_holds.end(),
                       [](const Hold &hold) { return !hold.watcher->future().isFinished(); });
}

void ProjectStage::advance()
{
    // An entry that runs may ask for more: the loop below takes it in its turn.
    if (m_advancing)
        return;
    m_advancing = true;
    std::erase_if(m_holds, [](const Hold &hold) { return hold.watcher->future().isFinished(); });
    while (!m_queue.empty() && !isHeld()) {
        const Entry &head = *m_queue.front();
        if (head.isRead() && !head.done.isFinished())
            break;
        if (head.kind == Entry::Kind::commandWhenRestored && m_restoring)
            break;
        const std::unique_ptr<Entry> entry = std::move(m_queue.front());
        m_queue.pop_front();
        entry->watcher.disconnect(this);
        m_nested = true;
        m_insertAt = 0;
        m_applying = entry->isRead();
        if (m_applying)
            emit stageChanged();
        entry->run();
        m_applying = false;
        m_nested = false;
    }
    m_advancing = false;
    emit stageChanged();
}

bool ProjectStage::settle(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    const auto readPending = [this] {
        return !m_queue.empty() && m_queue.front()->isRead() && !m_queue.front()->done.isFinished();
    };
    advance();
    const auto remaining = [&deadline] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    while (!isIdle() && !deadline.hasExpired()) {
        if (readPending()) {
            // A read ends on the file queue: no event of this thread is needed to see it end.
            ProjectFileQueue::waitForIdle(remaining());
            advance();
            if (!readPending())
                continue;
        }
        // Holds and restores land through this thread's events. Every change of the
        // stage ends the wait early.
        QEventLoop wait;
        connect(this, &ProjectStage::stageChanged, &wait, &QEventLoop::quit);
        QTimer::singleShot(std::min(remaining(), 100), &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
        advance();
    }
    return isIdle();
}

} // namespace routereel
