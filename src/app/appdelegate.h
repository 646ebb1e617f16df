#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <optional>

class QWidget;

namespace routereel {

class ExportQueue;
class LogStore;

// Guards the end of the application and hands over files opened from outside.
// Quitting while exports run or wait asks first ("Exports in Progress");
// confirming cancels the waiting tasks, last to first, then stops the running
// one and holds the quit back until the queue reports its end. That wait is
// bounded: after quitWaitLimitMs ffmpeg is killed and the quit goes on. The
// window stays disabled meanwhile, so nothing new can be queued and lost.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    enum class TerminateReply { now, cancel, later };

    static constexpr int defaultQuitWaitLimitMs = 10'000;

    explicit AppDelegate(QWidget *window, QObject *parent = nullptr);

    // The window's export queue, held weakly; none means quitting never asks.
    void setExportQueue(ExportQueue *queue);
    ExportQueue *exportQueue() const;
    // Where the forced stop is logged (held weakly).
    void setLogStore(LogStore *store);
    void setQuitWaitLimitMs(int ms) { m_quitWaitLimitMs = ms; }

    // Whether the application may end now. `later` means terminate() follows once the
    // running export has stopped; until then every further request answers `cancel`.
    TerminateReply applicationShouldTerminate();
    bool isTerminating() const { return m_terminating; }

    // The informative text of the quit question for a running task and `queued` waiting ones.
    static QString quitQuestion(bool running, qsizetype queued);

    // Takes the first URL whose extension is "rrl" (any case) and announces it.
    void openProjectURLs(const QList<QUrl> &urls);
    // The first project file among `urls`, if any.
    static std::optional<QUrl> firstProjectURL(const QList<QUrl> &urls);

signals:
    // The application may end now (always sent from the event loop, never from
    // within applicationShouldTerminate()).
    void terminate();
    void openProjectURL(const QUrl &url);

private:
    void scheduleTerminate();
    void forceStop();

    QWidget *m_window;
    QPointer<ExportQueue> m_queue;
    QPointer<LogStore> m_log;
    int m_quitWaitLimitMs = defaultQuitWaitLimitMs;
    bool m_terminating = false;
    bool m_terminateScheduled = false;
    QTimer m_quitWait;
};

} // namespace routereel
