#include "videoplayerservice.h"

#include "previewcomposition.h"
#include "media/videoreaderror.h"
#include "media/videotimelineerror.h"

#include "base/usablesize.h"

#include <QPointer>

#include <cmath>

namespace routereel {

namespace {

constexpr int overlayTickMilliseconds = 16; // ~1/60 s
constexpr double nearEnd = 0.05;

QString describe(const QException &error)
{
    if (const auto *e = dynamic_cast<const VideoTimelineError *>(&error))
        return e->message();
    if (const auto *e = dynamic_cast<const VideoReadError *>(&error))
        return e->message();
    return QString::fromUtf8(error.what());
}

} // namespace

VideoPlayerService::VideoPlayerService(PreviewPlayer *player, QObject *parent)
    : QObject(parent), m_player(player), m_clock(new PlaybackClock(this))
{
    m_player->setParent(this);
    m_monotonic.start();
    m_overlayTimer.setTimerType(Qt::PreciseTimer);
    m_overlayTimer.setInterval(overlayTickMilliseconds);
    connect(&m_overlayTimer, &QTimer::timeout, this, &VideoPlayerService::overlayTick);
    connect(m_player, &PreviewPlayer::periodicTime, this, &VideoPlayerService::periodicTime);
    connect(m_player, &PreviewPlayer::playingChanged, this, &VideoPlayerService::playerPlayingChanged);
    // The sound played on past the Pause: the playhead shows where it ended, and
    // the next Play goes on from there.
    connect(m_player, &PreviewPlayer::pausedPlayheadMoved, this, [this](double seconds) {
        if (m_overlayRange || m_isSeeking || m_wantsToPlay || !std::isfinite(seconds))
            return;
        m_clock->setCurrentTime(seconds);
        m_clock->setPlayheadTime(seconds);
    });
    connect(m_player, &PreviewPlayer::itemStatusChanged, this, &VideoPlayerService::itemStatusChanged);
    connect(m_player, &PreviewPlayer::playedToEnd, this, [this](PreviewPlayer::ItemId item) {
        if (m_itemWatch && m_itemWatch->item == item && m_itemWatch->revision == m_timelineRevision)
            pause();
    });
    // Silent sound, or a stretch of a clip that cannot be read, is told as a load
    // failure; the item plays on.
    const auto playsOn = [this](const QString &message) {
        if (m_itemWatch && m_itemWatch->item == m_player->currentItem() && !message.isEmpty()) {
            m_playsOnError = message;
            setLoadingError(message);
        }
    };
    connect(m_player, &PreviewPlayer::soundFailed, this, playsOn);
    connect(m_player, &PreviewPlayer::readFailed, this, playsOn);
    playerPlayingChanged(m_player->isPlaying());
}

VideoPlayerService::~VideoPlayerService()
{
    m_overlayTimer.stop();
    cancelLoadTask();
    m_player->disconnect(this);
}

void VideoPlayerService::setUptimeSource(std::function<double()> uptime)
{
    m_uptime = std::move(uptime);
}

double VideoPlayerService::uptime() const
{
    return m_uptime ? m_uptime() : m_monotonic.nsecsElapsed() / 1e9;
}

void VideoPlayerService::periodicTime(double seconds)
{
    if (m_overlayRange || !m_isMetadataReady || m_isSeeking || !std::isfinite(seconds))
        return;
    m_clock->setCurrentTime(seconds);
    // A stopped player never drags the user's playhead along.
    if (m_player->isPlaying())
        m_clock->setPlayheadTime(seconds);
}

void VideoPlayerService::playerPlayingChanged(bool playing)
{
    if (m_overlayRange)
        return;
    setIsPlaying(playing);
}

void VideoPlayerService::cancelLoadTask()
{
    if (m_loadCancel)
        m_loadCancel->store(true);
    m_loadCancel.reset();
    if (m_loadTask) {
        m_loadTask->disconnect(this);
        m_loadTask->deleteLater();
        m_loadTask = nullptr;
    }
}

void VideoPlayerService::reset()
{
    m_timelineRevision = ++m_lastRevision;
    m_seekRevision = ++m_lastRevision;
    m_isSeeking = false;
    m_timelineSnapshot.reset();
    setLoadingError(QString());
    pause();
    m_overlayRange.reset();
    m_itemWatch.reset();
    cancelLoadTask();
    m_player->replaceItem(std::nullopt);
    m_clock->setCurrentTime(0);
    m_clock->setPlayheadTime(0);
    setDuration(0);
    setIsLoaded(false);
    setIsMetadataReady(false);
    setVideoURL(QUrl());
    setVideoResolution(VideoTimelineSnapshot::defaultCanvasSize);
    setVideoFPS(30);
    setVideoBitRate(0);
}

void VideoPlayerService::loadTimeline(const VideoTimelineSnapshot &snapshot)
{
    if (m_overlayRange) {
        pause();
        m_overlayRange.reset();
    }
    // Equal snapshots are not loaded again, not even after a failed load.
    if (m_timelineSnapshot && *m_timelineSnapshot == snapshot)
        return;

    const VideoSource *primary = nullptr;
    for (const VideoSource &source : snapshot.sources) {
        const bool used = std::any_of(snapshot.segments.begin(), snapshot.segments.end(),
                                      [&](const VideoSegment &s) { return s.sourceID == source.id; });
        if (used) {
            primary = &source;
            break;
        }
    }
    if (!primary) {
        reset();
        return;
    }
    double end = 0;
    for (const VideoSegment &s : snapshot.segments)
        end = std::max(end, s.end());
    if (snapshot.segments.isEmpty() || !(end > 0)) {
        reset();
        return;
    }
    const double resume = m_clock->playheadTime() > 0 ? m_clock->playheadTime() : 0;

    m_player->pause();
    setIsPlaying(false);
    m_timelineSnapshot = snapshot;
    m_timelineRevision = ++m_lastRevision;
    m_seekRevision = ++m_lastRevision;
    m_isSeeking = false;
    m_itemWatch.reset();
    cancelLoadTask();
    setLoadingError(QString());
    setIsMetadataReady(false);
    setVideoURL(primary->url);
    setVideoResolution(snapshot.canvasSize());
    setVideoFPS(primary->fps);
    setVideoBitRate(primary->bitRate);
    setDuration(end);
    m_clock->setPlayheadTime(resume);

    const quint64 revision = m_timelineRevision;
    const VideoSource primarySource = *primary;
    m_loadCancel = std::make_shared<std::atomic_bool>(false);
    m_loadTask = new QFutureWatcher<std::optional<PreviewPlan>>(this);
    connect(m_loadTask, &QFutureWatcherBase::finished, this,
            [this, revision, primarySource] { planFinished(revision, primarySource); });
    m_loadTask->setFuture(PreviewComposition::makePlanAsync(snapshot, m_loadCancel));
}

void VideoPlayerService::planFinished(quint64 revision, const VideoSource &primary)
{
    QFutureWatcher<std::optional<PreviewPlan>> *task = m_loadTask;
    const bool cancelled = !m_loadCancel || m_loadCancel->load();
    m_loadTask = nullptr;
    m_loadCancel.reset();
    if (!task)
        return;
    task->deleteLater();
    if (cancelled || revision != m_timelineRevision)
        return;

    std::optional<PreviewPlan> plan;
    try {
        plan = task->result();
    } catch (const QException &error) {
        pause();
        setLoadingError(describe(error));
        return;
    } catch (const std::exception &error) {
        pause();
        setLoadingError(QString::fromUtf8(error.what()));
        return;
    }
    if (!plan)
        return;
    const PreviewPlayer::ItemId item = m_player->replaceItem(std::move(plan));
    m_itemWatch = ItemWatch{item, revision, true, primary};
    // The player may already know (an item that needs no loading).
    if (m_player->currentItem() == item && m_player->itemStatus() != PreviewPlayer::ItemStatus::unknown)
        itemStatusChanged(item, m_player->itemStatus());
}

void VideoPlayerService::itemStatusChanged(PreviewPlayer::ItemId item, PreviewPlayer::ItemStatus status)
{
    if (!m_itemWatch || m_itemWatch->item != item || m_itemWatch->revision != m_timelineRevision
        || status == PreviewPlayer::ItemStatus::unknown)
        return;
    const bool first = m_itemWatch->awaitingStatus;
    m_itemWatch->awaitingStatus = false;
    if (status == PreviewPlayer::ItemStatus::readyToPlay) {
        if (first)
            itemReady(m_itemWatch->primary);
        return;
    }
    // Failed, first or later (a clip further on that cannot be read).
    pause();
    const QString error = m_player->itemError();
    setLoadingError(error.isEmpty() ? VideoTimelineError::invalidVideo(m_itemWatch->primary.url.fileName()).message()
                                    : error);
}

void VideoPlayerService::itemReady(const VideoSource &)
{
    setIsLoaded(true);
    setIsMetadataReady(true);
    // Put the rebuilt player where the playhead was before the rebuild.
    performSeek(std::min(m_duration, std::max(0.0, m_clock->playheadTime())));
}

void VideoPlayerService::loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas)
{
    if (!isUsableSize(canvas))
        canvas = VideoTimelineSnapshot::defaultCanvasSize;
    const std::pair<double, double> bounds = range.value_or(std::pair{0.0, 0.0});

    bool clamp = true;
    if (m_overlayRange) {
        if (*m_overlayRange == bounds && m_videoResolution == canvas)
            return;
        clamp = !range;
    }
    pause();
    m_timelineRevision = ++m_lastRevision;
    m_seekRevision = ++m_lastRevision;
    m_isSeeking = false;
    m_timelineSnapshot.reset();
    m_overlayRange = bounds;
    m_itemWatch.reset();
    cancelLoadTask();
    m_player->replaceItem(std::nullopt);
    setLoadingError(QString());
    setVideoURL(QUrl());
    setVideoResolution(canvas);
    setVideoFPS(30);
    setVideoBitRate(0);
    setDuration(bounds.second);
    setIsLoaded(bounds.second > bounds.first);
    setIsMetadataReady(bounds.second > bounds.first);
    if (clamp)
        m_clock->setPlayheadTime(std::min(std::max(m_clock->playheadTime(), bounds.first), bounds.second));
    m_clock->setCurrentTime(m_clock->playheadTime());
}

void VideoPlayerService::play()
{
    if (m_duration > 0 && m_duration - m_clock->playheadTime() < nearEnd)
        return;
    if (m_overlayRange) {
        if (!m_isLoaded || m_isPlaying)
            return;
        if (!(m_clock->playheadTime() > m_overlayRange->first))
            m_clock->setPlayheadTime(m_overlayRange->first);
        setWantsToPlay(true);
        setIsPlaying(true);
        m_overlayPlaybackAnchor = std::pair{uptime(), m_clock->playheadTime()};
        m_overlayTimer.start();
        return;
    }
    // A failed item never starts: wanting it would show Pause over a standstill.
    if (m_player->currentItem() && m_player->itemStatus() == PreviewPlayer::ItemStatus::failed)
        return;
    setWantsToPlay(true);
    if (m_isMetadataReady && !m_isSeeking) {
        m_player->play();
        // What the player does counts: at the end of its item it reports the end at
        // once (and is paused by then) rather than starting.
        setIsPlaying(m_player->isPlaying());
    }
}

void VideoPlayerService::overlayTick()
{
    if (!m_overlayPlaybackAnchor || !m_overlayRange)
        return;
    // Measured from the anchor, so late or skipped ticks cause no drift.
    const double upper = m_overlayRange->second;
    const double t = std::min(m_overlayPlaybackAnchor->second + (uptime() - m_overlayPlaybackAnchor->first), upper);
    m_clock->setCurrentTime(t);
    m_clock->setPlayheadTime(t);
    if (t >= upper)
        pause();
}

void VideoPlayerService::pause()
{
    setWantsToPlay(false);
    m_overlayTimer.stop();
    m_overlayPlaybackAnchor.reset();
    m_player->pause();
    setIsPlaying(false);
}

void VideoPlayerService::seek(double seconds)
{
    double t = seconds > 0 ? seconds : 0;
    t = std::min(t, m_duration);
    m_clock->setPlayheadTime(t);
    performSeek(t);
}

void VideoPlayerService::scrub(double seconds)
{
    m_clock->setPlayheadTime(seconds);
    if (seconds >= 0 && seconds <= m_duration)
        performSeek(seconds);
}

void VideoPlayerService::performSeek(double seconds)
{
    if (m_overlayRange) {
        m_clock->setCurrentTime(seconds);
        if (m_isPlaying)
            m_overlayPlaybackAnchor = std::pair{uptime(), seconds};
        return;
    }
    const PreviewPlayer::ItemId item = m_player->currentItem();
    if (!m_isMetadataReady || !item)
        return;
    const quint64 revision = m_seekRevision = ++m_lastRevision;
    m_isSeeking = true;
    m_player->pause();
    QPointer<VideoPlayerService> self(this);
    m_player->seek(seconds, [self, item, revision](bool finished) {
        if (!self || self->m_seekRevision != revision || self->m_player->currentItem() != item)
            return;
        self->m_isSeeking = false;
        if (!finished)
            return;
        const double now = self->m_player->currentTime();
        self->m_clock->setCurrentTime(std::isfinite(now) ? now : 0);
        if (self->m_wantsToPlay)
            self->play();
    });
}

#define ROUTEREEL_PUBLISHED_SETTER(Setter, member, Type, signal) \
    void VideoPlayerService::Setter(Type value)                \
    {                                                          \
        member = value;                                        \
        emit signal();                                         \
    }

ROUTEREEL_PUBLISHED_SETTER(setDuration, m_duration, double, durationChanged)
ROUTEREEL_PUBLISHED_SETTER(setIsLoaded, m_isLoaded, bool, isLoadedChanged)
ROUTEREEL_PUBLISHED_SETTER(setIsMetadataReady, m_isMetadataReady, bool, isMetadataReadyChanged)
ROUTEREEL_PUBLISHED_SETTER(setVideoURL, m_videoURL, const QUrl &, videoURLChanged)
ROUTEREEL_PUBLISHED_SETTER(setVideoResolution, m_videoResolution, const QSizeF &, videoResolutionChanged)
ROUTEREEL_PUBLISHED_SETTER(setVideoFPS, m_videoFPS, double, videoFPSChanged)
ROUTEREEL_PUBLISHED_SETTER(setVideoBitRate, m_videoBitRate, double, videoBitRateChanged)
ROUTEREEL_PUBLISHED_SETTER(setLoadingError, m_loadingError, const QString &, loadingErrorChanged)

#undef ROUTEREEL_PUBLISHED_SETTER

void VideoPlayerService::setWantsToPlay(bool value)
{
    if (m_wantsToPlay == value)
        return;
    m_wantsToPlay = value;
    emit wantsToPlayChanged();
}

void VideoPlayerService::setIsPlaying(bool value)
{
    // Assigned on every call; observers are only woken by a change so the
    // 60 Hz paths stay cheap.
    if (m_isPlaying == value)
        return;
    m_isPlaying = value;
    emit isPlayingChanged();
}

} // namespace routereel
