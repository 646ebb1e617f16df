#include "exportqueue.h"

#include "logstoreexportlog.h"
#include "videoexporter.h"

#include <QFileInfo>

#include <utility>

namespace routereel {

namespace {

QString fileName(const ExportTask &task)
{
    return QFileInfo(task.outputURL.toLocalFile()).fileName();
}

QString outputPath(const ExportTask &task)
{
    return task.outputURL.toLocalFile();
}

} // namespace

ExportQueue::ExportQueue(QObject *parent) : QObject(parent), m_exporter(std::make_unique<VideoExporter>()) {}

ExportQueue::~ExportQueue()
{
    QObject::disconnect(m_progressConnection);
    // The exporter stops its run before it goes; its completion then finds no queue.
}

void ExportQueue::setLog(std::shared_ptr<ExportLog> log)
{
    m_log = std::move(log);
}

void ExportQueue::setLogStore(LogStore *store)
{
    setLog(std::make_shared<LogStoreExportLog>(store));
}

void ExportQueue::setTerminationCompletion(std::function<void()> completion)
{
    m_terminationCompletion = std::move(completion);
}

void ExportQueue::log(ExportLog::Level level, const QString &title, const QString &detail)
{
    if (m_log)
        m_log->add(level, title, detail);
}

void ExportQueue::enqueue(const ExportTask &task)
{
    ExportTaskRuntime runtime{task, ExportTaskStatus::pending(), 0, std::nullopt, std::nullopt};
    m_pending.append(runtime);
    emit pendingChanged();
    log(ExportLog::Level::info, QStringLiteral("Export Queued"),
        QStringLiteral("Source: ") + task.title() + QLatin1Char('\n') + QStringLiteral("Output: ") + outputPath(task));
    startNextIfIdle();
}

void ExportQueue::startNextIfIdle()
{
    if (m_current || m_pending.isEmpty())
        return;
    ExportTaskRuntime next = m_pending.takeFirst();
    next.status = ExportTaskStatus::running();
    next.startedAt = QDateTime::currentDateTime();
    m_current = next;
    emit pendingChanged();
    emit currentChanged();

    stopTimer();
    m_tickTimer = std::make_unique<QTimer>();
    m_tickTimer->setInterval(tickIntervalMs);
    connect(m_tickTimer.get(), &QTimer::timeout, this, [this] {
        m_tick = QDateTime::currentDateTime();
        emit tickChanged();
    });
    m_tickTimer->start();

    QObject::disconnect(m_progressConnection);
    m_progressConnection = connect(m_exporter.get(), &VideoExporter::progressChanged, this, [this] {
        if (!m_current)
            return;
        m_current->progress = m_exporter->progress();
        emit currentChanged();
    });

    const ExportTask &task = m_current->task;
    log(ExportLog::Level::info, QStringLiteral("Export Start"),
        QStringLiteral("Source: ") + task.title() + QLatin1Char('\n') + QStringLiteral("Output: ") + fileName(task));
    m_exporter->exportTask(task, [this](const ExportResult &result) {
        // Deferred, so that a refusal inside exportTask() does not re-enter this
        // function; an event for a queue that is gone is dropped.
        QMetaObject::invokeMethod(this, [this, result] { handleCompletion(result); }, Qt::QueuedConnection);
    });
}

void ExportQueue::stopTimer()
{
    if (m_tickTimer) {
        m_tickTimer->stop();
        m_tickTimer.reset();
    }
}

void ExportQueue::handleCompletion(const ExportResult &result)
{
    stopTimer();
    if (!m_current)
        return;
    ExportTaskRuntime entry = *m_current;
    entry.finishedAt = QDateTime::currentDateTime();
    const QString elapsed = formatDuration(entry.elapsed(*entry.finishedAt));
    const ExportTask &task = entry.task;
    if (result.isCancelled()) {
        entry.status = ExportTaskStatus::cancelled();
        log(ExportLog::Level::info, QStringLiteral("Export Cancelled"),
            fileName(task) + QLatin1Char('\n') + QStringLiteral("Elapsed: ") + elapsed);
    } else if (result.succeeded()) {
        entry.status = ExportTaskStatus::completed();
        entry.progress = 1;
        log(ExportLog::Level::info, QStringLiteral("Export Complete"),
            QStringLiteral("Output: ") + outputPath(task) + QLatin1Char('\n') + QStringLiteral("Source: ")
                + task.title() + QLatin1Char('\n') + QStringLiteral("Elapsed: ") + elapsed);
    } else {
        const QString message = result.message();
        entry.status = ExportTaskStatus::failed(message);
        log(ExportLog::Level::error, QStringLiteral("Export Failed"),
            fileName(task) + QLatin1Char('\n') + QStringLiteral("Elapsed: ") + elapsed + QLatin1Char('\n') + message);
        m_exporter->postExportNotification(QStringLiteral("routereel"), tr("Export Failed: ") + fileName(task));
    }
    m_history.prepend(entry);
    if (m_history.size() > historyLimit)
        m_history.resize(historyLimit);
    m_current.reset();
    emit historyChanged();
    emit currentChanged();

    if (m_terminationCompletion) {
        // Cleared first: the closure runs once, even if it queues or cancels again.
        const auto completion = std::exchange(m_terminationCompletion, nullptr);
        completion();
        return;
    }
    startNextIfIdle();
}

void ExportQueue::cancel(const QUuid &taskId)
{
    if (m_current && m_current->task.id == taskId) {
        m_exporter->cancel();
        return;
    }
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending.at(i).task.id != taskId)
            continue;
        ExportTaskRuntime entry = m_pending.takeAt(i);
        entry.status = ExportTaskStatus::cancelled();
        entry.finishedAt = QDateTime::currentDateTime();
        m_history.prepend(entry);
        emit pendingChanged();
        emit historyChanged();
        log(ExportLog::Level::info, QStringLiteral("Export Cancelled"),
            QStringLiteral("Removed from queue: ") + fileName(entry.task));
        return;
    }
}

void ExportQueue::clearHistory()
{
    if (m_history.isEmpty())
        return;
    m_history.clear();
    emit historyChanged();
}

} // namespace routereel
