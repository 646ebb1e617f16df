#include "projectsession.h"

#include "projectplayer.h"
#include "projectwindow.h"
#include "videorestoretask.h"

#include "base/usablesize.h"
#include "timeline/timelineengine.h"
#include "timeline/videoimportchain.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

namespace routereel {

std::optional<VideoSegment> ProjectSession::restorableVideoSegment(const VideoSegment &segment,
                                                                  const QList<VideoSource> &sources)
{
    if (!(std::isfinite(segment.offset) && segment.offset >= 0))
        return std::nullopt;
    if (!(std::isfinite(segment.sourceStart) && segment.sourceStart >= 0))
        return std::nullopt;
    if (!(segment.sourceEnd - segment.sourceStart > 0))
        return std::nullopt;
    if (!std::isfinite(segment.sourceEnd))
        return std::nullopt;
    const auto source = std::find_if(sources.begin(), sources.end(),
                                     [&](const VideoSource &s) { return s.id == segment.sourceID; });
    if (source == sources.end())
        return std::nullopt;
    // A clip's length once was the file's stated one, which MP4 rounds up and which
    // counts an empty edit before the picture: pieces saved then end past today's
    // length, and are the same pieces. A frame's worth covers other rounding.
    const double frame = source->fps > 0 ? 1.0 / source->fps : 0.0;
    const double reach = std::max(source->duration + frame, source->statedDuration);
    if (!(segment.sourceEnd <= reach + ProjectDocument::segmentEndTolerance))
        return std::nullopt;
    VideoSegment kept = segment;
    kept.sourceEnd = std::min(segment.sourceEnd, source->duration);
    if (!(kept.sourceEnd - kept.sourceStart > 0))
        return std::nullopt;
    return kept;
}

namespace {

// Pieces saved to meet where a clip was stated to end meet again once that piece
// is cut back to the clip's length (by less than a frame: the length rounded up to
// whole milliseconds): every piece after such a join moves back by the cut.
// Otherwise a sliver of nothing lies between them, and the export shows it as a
// black frame.
void closeJoins(QList<VideoSegment> &kept, const QList<VideoSegment> &saved, const QList<VideoSource> &sources)
{
    std::vector<std::pair<double, double>> joins; // (saved timeline end, cut back by)
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const VideoSegment &was = *std::find_if(saved.begin(), saved.end(),
                                                [&](const VideoSegment &s) { return s.id == kept[i].id; });
        const double cut = was.sourceEnd - kept[i].sourceEnd;
        const auto source = std::find_if(sources.begin(), sources.end(),
                                         [&](const VideoSource &s) { return s.id == was.sourceID; });
        if (!(cut > 0) || source == sources.end() || !(source->fps > 0) || cut > 1.0 / source->fps)
            continue;
        const double end = was.offset + (was.sourceEnd - was.sourceStart);
        if (std::any_of(kept.begin(), kept.end(), [&](const VideoSegment &s) { return std::fabs(s.offset - end) < 1e-9; }))
            joins.emplace_back(end, cut);
    }
    for (VideoSegment &segment : kept) {
        double back = 0;
        for (const auto &[end, cut] : joins) {
            if (segment.offset >= end - 1e-9)
                back += cut;
        }
        segment.offset = std::max(0.0, segment.offset - back);
    }
}

} // namespace

// Runs on the event loop, never inside the apply that started it. Every step
// first checks that no later apply cancelled it or loaded another timeline.
void ProjectSession::continueVideoRestore(VideoRestoreTask *task)
{
    if (task->isCancelled() || m_window.engine().importGeneration() != task->generation) {
        task->deleteLater();
        return;
    }
    if (task->next >= task->references.size()) {
        finishVideoRestore(task);
        return;
    }
    const VideoRestoreTask::Reference reference = task->references.at(task->next++);
    QObject::disconnect(&task->watcher, nullptr, task, nullptr);
    connect(&task->watcher, &QFutureWatcher<VideoSource>::finished, task, [this, task, reference] {
        if (task->isCancelled() || m_window.engine().importGeneration() != task->generation) {
            task->deleteLater();
            return;
        }
        std::optional<VideoSource> source;
        const QString failure = VideoImportChain::failureMessage(task->watcher.future(), reference.url, &source);
        if (source) {
            task->loaded.append(*source);
        } else {
            keepUnread(task, reference.sourceID, KeptFiles::outcomeOf(task->watcher.future()));
            presentError(failure);
        }
        continueVideoRestore(task);
    });
    task->watcher.setFuture(m_probe(reference.url, reference.sourceID));
}

void ProjectSession::keepUnread(const VideoRestoreTask *task, const QUuid &sourceID, KeptFiles::Outcome outcome)
{
    const QList<VideoFileRef> files = task->savedFiles.value_or(QList<VideoFileRef>());
    const auto file = std::find_if(files.begin(), files.end(), [&](const VideoFileRef &f) { return f.id == sourceID; });
    if (file != files.end())
        m_keptFiles.clip(task->generation, *file, outcome);
}

void ProjectSession::finishVideoRestore(VideoRestoreTask *task)
{
    TimelineEngine &engine = m_window.engine();
    task->deleteLater();
    if (m_videoImportTask == task)
        m_videoImportTask.clear();

    const QList<VideoSource> &loaded = task->loaded;
    engine.updateCanvasOrigin(loaded.isEmpty() ? std::nullopt : std::optional<QSizeF>(loaded.first().resolution));
    // Imports wait for the restore; anything that still reached the lane
    // meanwhile stays, after the project's own video.
    const QList<VideoSource> earlierSources = engine.videoSources();
    const QList<VideoSegment> earlierSegments = engine.videoSegments();
    QList<VideoSource> sources = loaded;
    for (const VideoSource &source : earlierSources) {
        if (std::none_of(loaded.begin(), loaded.end(), [&](const VideoSource &s) { return s.id == source.id; }))
            sources.append(source);
    }
    engine.setVideoSources(sources);
    QList<VideoSegment> segments;
    if (task->savedSegments) {
        for (const VideoSegment &segment : *task->savedSegments) {
            if (const auto kept = restorableVideoSegment(segment, loaded))
                segments.append(*kept);
        }
        closeJoins(segments, *task->savedSegments, loaded);
    } else {
        for (const VideoSource &source : loaded) {
            VideoSegment segment;
            segment.sourceID = source.id;
            segment.sourceStart = 0;
            segment.sourceEnd = source.duration;
            segment.offset = 0;
            segments.append(segment);
        }
    }
    for (const VideoSegment &segment : earlierSegments) {
        if (std::none_of(segments.begin(), segments.end(), [&](const VideoSegment &s) { return s.id == segment.id; }))
            segments.append(segment);
    }
    engine.setVideoSegments(segments);

    // Overlay mode: the reactions to the new sources reload the overlay player.
    if (m_window.compositionMode() != CompositionMode::regular || engine.videoSegments().isEmpty()) {
        m_restoringPlayhead.reset();
        return;
    }
    rebuildPlayer();
    armRestoreSeek(task->generation, task->playheadTime);
}

void ProjectSession::armRestoreSeek(const QUuid &generation, double playheadTime)
{
    cancelPendingRestoreSeek();
    auto *pending = new QObject(this);
    m_pendingRestoreSeek = pending;
    ProjectPlayer &player = m_window.player();
    auto fired = std::make_shared<bool>(false);
    // The first time the player reports loaded, seek on the next turn of the event loop.
    const auto fireWhenLoaded = [this, pending, &player, fired, generation, playheadTime] {
        if (*fired || !player.isLoaded())
            return;
        *fired = true;
        QTimer::singleShot(0, pending, [this, generation, playheadTime] {
            seekToRestoredPlayhead(generation, playheadTime);
        });
    };
    connect(&player, &ProjectPlayer::isLoadedChanged, pending, fireWhenLoaded);
    fireWhenLoaded();
}

void ProjectSession::seekToRestoredPlayhead(const QUuid &generation, double playheadTime)
{
    if (m_window.engine().importGeneration() != generation)
        return;
    m_restoringPlayhead.reset();
    m_window.player().seek(playheadTime);
}

void ProjectSession::cancelPendingRestoreSeek()
{
    delete m_pendingRestoreSeek.data();
    m_pendingRestoreSeek.clear();
}

void ProjectSession::rebuildPlayer()
{
    const TimelineEngine &engine = m_window.engine();
    ProjectPlayer &player = m_window.player();
    if (m_window.compositionMode() == CompositionMode::overlay) {
        std::optional<std::pair<double, double>> range;
        if (const auto gpx = engine.gpxTimeRange())
            range = std::pair(gpx->lower, gpx->upper);
        player.loadOverlayOnly(range, engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize));
    } else {
        player.loadTimeline(engine.videoSnapshot());
    }
}

void ProjectSession::cancelRestoreSeekAndRebuildPlayer()
{
    cancelPendingRestoreSeek();
    m_restoringPlayhead.reset();
    m_window.player().pause();
    rebuildPlayer();
}

void ProjectSession::failPendingRestore(const QString &message)
{
    if (message.isEmpty())
        return;
    // A sound that cannot be decoded is told, but the picture loads: the seek stays.
    if (!m_window.player().loadingErrorIsSoundOnly()) {
        cancelPendingRestoreSeek();
        m_restoringPlayhead.reset();
    }
    presentError(message);
}

void ProjectSession::restoreWidgetPositions(const QSizeF &newLayout)
{
    if (!isUsableSize(newLayout))
        return;
    const std::optional<QSizeF> old = m_window.widgetLayoutSize();
    if (old && isUsableSize(*old) && *old != newLayout) {
        WidgetPositions positions = m_window.widgetPositions();
        positions.forEach([&](std::optional<QPointF> &p) {
            if (!p)
                return;
            const double x = p->x() * newLayout.width() / old->width();
            const double y = p->y() * newLayout.height() / old->height();
            p = QPointF(std::clamp(x, 0.0, newLayout.width()), std::clamp(y, 0.0, newLayout.height()));
        });
        m_window.setWidgetPositions(positions);
    }
    m_window.setWidgetLayoutSize(newLayout);
}

void ProjectSession::installReactions()
{
    TimelineEngine *engine = &m_window.engine();
    ProjectPlayer *player = &m_window.player();
    // Queued: the window reacts once a change is complete, not in the middle of
    // an apply that is still filling the models.
    const auto queued = Qt::QueuedConnection;
    connect(engine, &TimelineEngine::videoSourcesChanged, this, &ProjectSession::rebuildPlayer, queued);
    connect(engine, &TimelineEngine::videoSegmentsChanged, this, &ProjectSession::rebuildPlayer, queued);
    connect(engine, &TimelineEngine::canvasOriginChanged, this, &ProjectSession::rebuildPlayer, queued);
    connect(engine, &TimelineEngine::segmentsChanged, this, [this] {
        if (m_window.compositionMode() == CompositionMode::overlay)
            rebuildPlayer();
    }, queued);
    connect(engine, &TimelineEngine::canvasOriginChanged, this,
            [this] { restoreWidgetPositions(resolveLayoutSize()); }, queued);
    connect(player, &ProjectPlayer::loadingErrorChanged, this,
            [this, player] { failPendingRestore(player->loadingError()); }, queued);
    restoreWidgetPositions(resolveLayoutSize());
}

} // namespace routereel
