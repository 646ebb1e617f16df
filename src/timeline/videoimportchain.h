#pragma once

#include "media/videosource.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace routereel {

class LogStore;
class TimelineEngine;

// The window's video imports: each import's files are probed one after another,
// and a new import waits for the ones before it instead of cancelling them.
// Every import is stamped with the engine's import generation when it starts;
// once a Clear or a project load renewed it, or cancel() ran, the import stops
// at its next check (before a probe, or when a probe returns) and its results
// are dropped without a word. Main thread only.
class VideoImportChain : public QObject {
    Q_OBJECT

public:
    // Probes one file as a source with the given id (VideoSource::load by default).
    using Probe = std::function<QFuture<VideoSource>(const QUrl &url, const QUuid &sourceID)>;

    VideoImportChain(TimelineEngine &engine, LogStore &log, QObject *parent = nullptr);
    ~VideoImportChain() override;

    void setProbe(Probe probe) { m_probe = std::move(probe); }

    // Queues `urls` behind the imports still running; an empty list does nothing.
    // The future ends once this import has landed, failed, or was stopped.
    QFuture<void> import(const QList<QUrl> &urls);
    // Imports queued from now on wait, behind the ones before, until `task` (a
    // project's video restore) is gone.
    void waitFor(QObject *task);
    // Stops the running import and every waiting one (a project replaces the timeline).
    void cancel();
    bool isBusy() const { return m_current.has_value() || !m_waiting.empty(); }

    // The probe's message for a failed load, or nothing with `*source` filled.
    static QString failureMessage(const QFuture<VideoSource> &future, const QUrl &url,
                                  std::optional<VideoSource> *source);

signals:
    // A file could not be used; the window reports the message.
    void failed(const QString &message);

private:
    struct Job {
        QList<QUrl> urls;
        QUuid generation;
        qsizetype next = 0;
        QPointer<QObject> awaited;  // a job that only waits for this task to end
        quint64 serial = 0;
        std::shared_ptr<QPromise<void>> settled;  // ends when the job goes
    };

    bool isStale(const Job &job) const;
    void startNext();
    void probeNext();
    void probeFinished();
    void finishJob();

    TimelineEngine &m_engine;
    LogStore &m_log;
    Probe m_probe;
    std::deque<Job> m_waiting;
    std::optional<Job> m_current;
    QFutureWatcher<VideoSource> m_watcher;
    QUrl m_probing;
    quint64 m_serial = 0;
};

} // namespace routereel
