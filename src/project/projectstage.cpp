#include "projectstage.h"

#include "projectfilequeue.h"
#include "readposition.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QScopedValueRollback>
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
    QStringList paths;

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
    m_parked.clear();
    return left;
}

QStringList ProjectStage::underWay() const
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

QStringList ProjectStage::unfinished() const
{
    QStringList left = underWay();
    for (const Parked &parked : m_parked)
        left << parked.what;
    return left;
}

ProjectStage::Answer ProjectStage::answering()
{
    ++m_answers;
    emit stageChanged();
    return Answer(nullptr, [self = QPointer<ProjectStage>(this)](void *) {
        if (self)
            self->answered();
    });
}

void ProjectStage::answered()
{
    if (--m_answers > 0)
        return;
    emit stageChanged();
    // Queued: what the answer asks for right after it closes is asked first.
    QTimer::singleShot(0, this, &ProjectStage::advance);
}

void ProjectStage::whenAnswered(std::function<void()> command, const QString &what)
{
    if (!isAnswering() && m_parked.empty()) {
        command();
        return;
    }
    m_parked.push_back({std::move(command), what});
    emit stageChanged();
}

void ProjectStage::takeParked()
{
    while (!m_parked.empty() && mayTakeParked()) {
        const Parked parked = std::move(m_parked.front());
        m_parked.pop_front();
        parked.run();
    }
}

ProjectStage::Motion ProjectStage::motion() const
{
    QStringList paths;
    for (const Hold &hold : m_holds) {
        if (!hold.watcher->future().isFinished())
            paths << hold.paths;
    }
    for (const auto &entry : m_queue)
        paths << entry->paths;
    return {m_done, paths.isEmpty() ? 0 : readPosition(paths)};
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

void ProjectStage::queueRead(QFuture<void> done, std::function<void()> apply, const QString &what,
                             const QStringList &paths)
{
    auto entry = std::make_unique<Entry>();
    entry->what = what;
    entry->paths = paths;
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

void ProjectStage::holdUntil(QFuture<void> settled, const QString &what, const QStringList &paths)
{
    if (settled.isFinished())
        return;
    auto watcher = std::make_unique<QFutureWatcher<void>>();
    connect(watcher.get(), &QFutureWatcherBase::finished, this, &ProjectStage::advance);
    watcher->setFuture(settled);
    m_holds.push_back({std::move(watcher), what, paths});
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
    m_done += std::erase_if(m_holds, [](const Hold &hold) { return hold.watcher->future().isFinished(); });
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
        ++m_done;
        m_applying = false;
        m_nested = false;
    }
    m_advancing = false;
    takeParked();
    emit stageChanged();
}

bool ProjectStage::settle(int stillMs)
{
    // The application ends: what the user answers holds back nothing handed over.
    const QScopedValueRollback ending(m_ending, true);
    // A limit for what stands still, never for what is slow: every step resets it.
    QDeadlineTimer still(stillMs);
    Motion last = motion();
    const auto readPending = [this] {
        return !m_queue.empty() && m_queue.front()->isRead() && !m_queue.front()->done.isFinished();
    };
    const auto slice = [&still] { return int(std::clamp<qint64>(still.remainingTime(), 0, 100)); };
    advance();
    while (!isIdle() && !still.hasExpired()) {
        if (readPending()) {
            // A read ends on the file queue: no event of this thread is needed to see it end.
            ProjectFileQueue::waitForIdle(slice());
            advance();
        } else {
            // Holds and restores land through this thread's events. Every change of the
            // stage ends the wait early.
            QEventLoop wait;
            connect(this, &ProjectStage::stageChanged, &wait, &QEventLoop::quit);
            QTimer::singleShot(slice(), &wait, &QEventLoop::quit);
            wait.exec(QEventLoop::ExcludeUserInputEvents);
            advance();
        }
        if (const Motion now = motion(); now != last) {
            last = now;
            still.setRemainingTime(stillMs);
        }
    }
    return isIdle();
}

} // namespace routereel
