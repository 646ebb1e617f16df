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
// gave it, after every read asked before it has been applied. While the user
// answers something (a panel, sheet or alert is open, or a command of the stage
// runs), files handed over from outside wait for the answer and what it asks
// for. Main thread only.
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

    // What moves while the stage works: entries carried out, and how far the
    // files that its reads and holds name have been read.
    struct Motion {
        quint64 done = 0;
        qint64 read = 0;
        friend bool operator==(const Motion &, const Motion &) = default;
    };

    Stage stage() const;
    bool isReading() const;
    // Nothing read, applied or restored, and no command waiting (a handed-over
    // file waiting for the user's answer aside).
    bool isReady() const { return stage() == Stage::ready && m_queue.empty() && !isHeld(); }

    // Held while the user answers something the stage does not run itself (a
    // panel, a sheet, an alert), and for what the answer starts until it has
    // been asked of the stage. The answer ends when the last copy goes.
    using Answer = std::shared_ptr<void>;
    [[nodiscard]] Answer answering();
    // The user is answering something, or a command of the stage runs.
    bool isAnswering() const { return m_answers > 0 || m_advancing; }
    // Something handed over from outside (a later launch's file): runs at once,
    // or once the user has answered and what the answer asked for is queued.
    void whenAnswered(std::function<void()> command, const QString &what);

    // Each entry is named as the user would name it ("Save Project", "Open ride.rrl"):
    // what a quit or a closing window could not carry out is told by these names.

    // A read on the file queue (`done` ends when it has), then `apply` on this
    // thread, in the order asked. `paths`: the files it reads (motion()).
    void queueRead(QFuture<void> done, std::function<void()> apply, const QString &what,
                   const QStringList &paths = {});
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
    void holdUntil(QFuture<void> settled, const QString &what, const QStringList &paths = {});

    // The application ends: what the user answers no longer holds back what was
    // handed over (settle() does the same while it runs).
    void setEnding() { m_ending = true; }
    Motion motion() const;

    // What a quit does with each kind of entry, until nothing is left or nothing
    // has moved for `stillMs`:
    // - read:    waited for on the file queue, then applied;
    // - hold:    waited for, with this thread's events delivered (user input
    //            excluded), since what it brings lands on this thread;
    // - command: run in its turn once everything before it has been applied or
    //            has landed, as at any other time (a Save writes its file);
    // - restore: waited for as a hold, for the commands that wait for it.
    // True when nothing is left; else unfinished() names what is.
    bool settle(int stillMs);
    // What has not been carried out yet: reads, commands and holds, in order.
    QStringList unfinished() const;
    // The same less what was handed over and waits for the user's answer: what
    // the user is answering must not wait for it in turn.
    QStringList underWay() const;
    // The window goes: nothing more runs. Returns unfinished() as it was.
    QStringList abandon();
    bool isIdle() const { return m_queue.empty() && m_parked.empty() && !isHeld(); }

signals:
    void stageChanged();

private:
    struct Entry;
    void add(std::unique_ptr<Entry> entry);
    void advance();
    void answered();
    void takeParked();
    bool isHeld() const;
    // Whether what was handed over from outside may go in now.
    bool mayTakeParked() const { return (m_answers == 0 || m_ending) && !m_advancing; }
    bool mayRunAtOnce() const { return m_queue.empty() && !m_nested && !isHeld(); }

    std::deque<std::unique_ptr<Entry>> m_queue;
    QPointer<QObject> m_restoring;
    struct Hold {
        std::unique_ptr<QFutureWatcher<void>> watcher;
        QString what;
        QStringList paths;
    };
    std::deque<Hold> m_holds;
    struct Parked {
        std::function<void()> run;
        QString what;
    };
    std::deque<Parked> m_parked;
    int m_answers = 0;
    bool m_ending = false;
    quint64 m_done = 0;
    bool m_applying = false;
    bool m_advancing = false;
    // While an entry runs, what it asks for goes before what was asked after it.
    std::size_t m_insertAt = 0;
    bool m_nested = false;
};

} // namespace routereel
