#pragma once

#include "exportlog.h"
#include "exportresult.h"
#include "exporttaskruntime.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace routereel {

class LogStore;
class VideoExporter;

// The application's export queue: first in, first out, one task running at a
// time through its exporter, finished tasks in a history (newest first, 100
// kept). Main thread only.
class ExportQueue : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<ExportTaskRuntime> pending READ pending NOTIFY pendingChanged)
    Q_PROPERTY(QList<ExportTaskRuntime> history READ history NOTIFY historyChanged)
    Q_PROPERTY(QDateTime tick READ tick NOTIFY tickChanged)

public:
    static constexpr int historyLimit = 100;
    static constexpr int tickIntervalMs = 500;

    explicit ExportQueue(QObject *parent = nullptr);
    ~ExportQueue() override;

    const QList<ExportTaskRuntime> &pending() const { return m_pending; }
    const std::optional<ExportTaskRuntime> &current() const { return m_current; }
    const QList<ExportTaskRuntime> &history() const { return m_history; }
    QDateTime tick() const { return m_tick; }
    VideoExporter *exporter() const { return m_exporter.get(); }
    // A task runs or waits: quitting needs the user's confirmation.
    bool isBusy() const { return m_current.has_value() || !m_pending.isEmpty(); }

    // Where the log entries go; without one nothing is logged.
    void setLog(std::shared_ptr<ExportLog> log);
    // The window's log store, held weakly.
    void setLogStore(LogStore *store);
    // Called once, instead of starting the next task, when the running one has
    // been handled; the queue forgets it before calling it.
    void setTerminationCompletion(std::function<void()> completion);
    bool hasTerminationCompletion() const { return bool(m_terminationCompletion); }

    void enqueue(const ExportTask &task);
    // Cancels the running task with that id, or removes a waiting one.
    void cancel(const QUuid &taskId);
    void startNextIfIdle();
    // Forgets the finished tasks; running and waiting ones stay.
    void clearHistory();

signals:
    void pendingChanged();
    void currentChanged();
    void historyChanged();
    void tickChanged();

private:
    void handleCompletion(const ExportResult &result);
    void log(ExportLog::Level level, const QString &title, const QString &detail);
    void stopTimer();

    QList<ExportTaskRuntime> m_pending;
    std::optional<ExportTaskRuntime> m_current;
    QList<ExportTaskRuntime> m_history;
    QDateTime m_tick = QDateTime::currentDateTime();
    std::unique_ptr<VideoExporter> m_exporter;
    std::function<void()> m_terminationCompletion;
    std::shared_ptr<ExportLog> m_log;
    QMetaObject::Connection m_progressConnection;
    std::unique_ptr<QTimer> m_tickTimer;
};

} // namespace routereel
