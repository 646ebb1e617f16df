#include "videoimportchain.h"

#include "timelineengine.h"
#include "media/videoreaderror.h"
#include "media/videotimelineerror.h"

#include "tracks/logstore.h"

#include <QCoreApplication>
#include <QTimer>

namespace routereel {

VideoImportChain::VideoImportChain(TimelineEngine &engine, LogStore &log, QObject *parent)
    : QObject(parent), m_engine(engine), m_log(log), m_probe(&VideoSource::load)
{
    connect(&m_watcher, &QFutureWatcher<VideoSource>::finished, this, &VideoImportChain::probeFinished);
}

VideoImportChain::~VideoImportChain()
{
    // A probe still running finishes on the pool; nobody waits for its result.
    m_watcher.disconnect(this);
}

QString VideoImportChain::failureMessage(const QFuture<VideoSource> &future, const QUrl &url,
                                         std::optional<VideoSource> *source)
{
    try {
        // A failed probe holds its error, not a result: waiting rethrows it, so its own
        // reason reaches the user rather than the generic message below.
        QFuture<VideoSource>(future).waitForFinished();
        if (future.resultCount() > 0) {
            *source = future.result();
            return {};
        }
    } catch (const VideoTimelineError &e) {
        return e.message();
    } catch (const VideoReadError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QCoreApplication::translate("VideoImportChain", "Cannot load video: %1").arg(url.fileName());
}

QFuture<void> VideoImportChain::import(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return QtFuture::makeReadyFuture();
    Job job{urls, m_engine.importGeneration()};
    // A promise that goes unfinished with its job ends its future, cancelled.
    job.settled = std::make_shared<QPromise<void>>();
    job.settled->start();
    QFuture<void> settled = job.settled->future();
    m_waiting.push_back(std::move(job));
    if (!m_current)
        QTimer::singleShot(0, this, &VideoImportChain::startNext);
    return settled;
}

void VideoImportChain::waitFor(QObject *task)
{
    if (!task)
        return;
    Job wait;
    wait.generation = m_engine.importGeneration();
    wait.awaited = task;
    wait.serial = ++m_serial;
    m_waiting.push_back(wait);
    if (!m_current)
        QTimer::singleShot(0, this, &VideoImportChain::startNext);
}

void VideoImportChain::cancel()
{
    m_waiting.clear();
    // A probe in flight is left to finish; its result finds no job and is dropped.
    m_current.reset();
}

bool VideoImportChain::isStale(const Job &job) const
{
    return job.generation != m_engine.importGeneration();
}

void VideoImportChain::startNext()
{
    if (m_current || m_watcher.isRunning())
        return;
    if (m_waiting.empty())
        return;
    m_current = std::move(m_waiting.front());
    m_waiting.pop_front();
    if (QObject *task = m_current->awaited.data()) {
        // After a cancel() the task's end finds another job, or none, and leaves it.
        const quint64 serial = m_current->serial;
        connect(task, &QObject::destroyed, this, [this, serial] {
            if (m_current && m_current->serial == serial)
                finishJob();
        }, Qt::QueuedConnection);
        return;
    }
    if (m_current->urls.isEmpty())
        return finishJob();  // the awaited task had already ended
    probeNext();
}

void VideoImportChain::probeNext()
{
    if (!m_current)
        return startNext();
    if (isStale(*m_current) || m_current->next >= m_current->urls.size())
        return finishJob();
    m_probing = m_current->urls.at(m_current->next++);
    m_watcher.setFuture(m_probe(m_probing, QUuid::createUuid()));
}

void VideoImportChain::probeFinished()
{
    if (!m_current || isStale(*m_current)) {
        // Cancelled or stale meanwhile: the result goes nowhere.
        m_current.reset();
        return startNext();
    }
    std::optional<VideoSource> source;
    const QString failure = failureMessage(m_watcher.future(), m_probing, &source);
    if (source) {
        m_engine.importVideo(*source);
        m_log.add(LogEntry::Level::info, QStringLiteral("Import Video"),
                  m_probing.toLocalFile());
    } else {
        emit failed(failure);
    }
    probeNext();
}

void VideoImportChain::finishJob()
{
    m_current.reset();
    startNext();
}

} // namespace routereel
