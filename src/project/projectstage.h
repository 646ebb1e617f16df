#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

namespace routereel {

// The order of events of one window's project: whether a project file is being
// read, applied, its video restored, or the timeline is whole. Reads happen off
// the window's thread, but the window takes commands meanwhile; every command
// (save, save as, import, open) goes through here and runs in the order the user
// gave it, after every read asked before it has been applied. Main thread only.
class ProjectStage : public QObject {
    Q_OBJECT

public:
    enum class Stage {
        ready,     // nothing read, nothing restored: commands run at once
        reading,   // a project file asked for has not been applied yet
        applying,  // a read project replaces the window's state
        restoring, // the project's video is being probed
    };

    explicit ProjectStage(QObject *parent = nullptr);
    ~ProjectStage() override;

    Stage stage() const;
    bool isReading() const;
    // Nothing read, applied or restored, and no command waiting.
    bool isReady() const { return stage() == Stage::ready && m_queue.empty() && !isHeld(); }

    // Each entry is named as the user would name it ("Save Project", "Open ride.rrl"):
    // what a quit or a closing window could not carry out is told by these names.

    // A read on the file queue (`done` ends when it has), then `apply` on this
    // thread, in the order asked.
    void queueRead(QFuture<void> done, std::function<void()> apply, const QString &what);
    // Runs `command` at once when nothing was asked before it, else after every
    // read asked before it has been applied.
    void whenRead(std::function<void()> command, const QString &what);
    // The same, and also after the video restore of a project applied before it
    // (an edit's undo step must hold the restored video).
    void whenReady(std::function<void()> command, const QString &what);
    // The restore of the project's video that `task` runs, until `task` is gone.
    void setRestoring(QObject *task);
    // A command that ran goes on until `settled` ends (a track read in the
    // background): what was asked after it waits until then.
    void holdUntil(QFuture<void> settled, const QString &what);

    // What a quit does with each kind of entry, within `milliseconds` in all:
    // - read:    waited for on the file queue, then applied;
    // - hold:    waited for, with this thread's events delivered (user input
    //            excluded), since what it brings lands on this thread;
    // - command: run in its turn once everything before it has been applied or
    //            has landed, as at any other time (a Save writes its file);
    // - restore: waited for as a hold, for the commands that wait for it.
    // True when nothing is left; else unfinished() names what is.
    bool settle(int milliseconds);
    // What has not been carried out yet: reads, commands and holds, in order.
    QStringList unfinished() const;
    // The window goes: nothing more runs. Returns unfinished() as it was.
    QStringList abandon();
    bool isIdle() const { return m_queue.empty() && !isHeld(); }

signals:
    void stageChanged();

private:
    struct Entry;
    void add(std::unique_ptr<Entry> entry);
    void advance();
    bool isHeld() const;
    bool mayRunAtOnce() const { return m_queue.empty() && !m_nested && !isHeld(); }

    std::deque<std::unique_ptr<Entry>> m_queue;
    QPointer<QObject> m_restoring;
    struct Hold {
        std::unique_ptr<QFutureWatcher<void>> watcher;
        QString what;
    };
    std::deque<Hold> m_holds;
    bool m_applying = false;
    bool m_advancing = false;
    // While an entry runs, what it asks for goes before what was asked after it.
    std::size_t m_insertAt = 0;
    bool m_nested = false;
};

} // namespace routereel
