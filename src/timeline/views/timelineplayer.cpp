#include "timelineplayer.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoSink>

#include <cmath>
#include <limits>

namespace routereel {

namespace {

constexpr int tickMilliseconds = 16;          // ~1/60 s
constexpr int switchTimeoutMilliseconds = 1500;
// A frame whose start lies this far from the sought clip time is taken as left over
// from before the seek (GStreamer's frame times are a couple of frames off).
constexpr double staleFrameTolerance = 0.25;

} // namespace

TimelinePlayer::TimelinePlayer(QObject *parent)
    : PreviewPlayer(parent)
{
    selectMediaBackend();
    m_media = new QMediaPlayer(this);
    m_sink = new QVideoSink(this);
    m_media->setVideoSink(m_sink);
    // Without an audio device the GStreamer back end still runs the pipeline on the
    // system clock, so playback never waits for sound.
    m_audio = new QAudioOutput(QMediaDevices::defaultAudioOutput(), this);
    m_media->setAudioOutput(m_audio);

    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(tickMilliseconds);
    connect(&m_tick, &QTimer::timeout, this, &TimelinePlayer::tick);
    m_switchTimeout.setSingleShot(true);
    m_switchTimeout.setInterval(switchTimeoutMilliseconds);
    connect(&m_switchTimeout, &QTimer::timeout, this, [this] {
        if (m_switching && m_positionIssued)
            finishSwitch();
    });

    connect(m_sink, &QVideoSink::videoFrameChanged, this, &TimelinePlayer::takeFrame);
    connect(m_media, &QMediaPlayer::mediaStatusChanged, this, &TimelinePlayer::onMediaStatus);
    // Positions given before the media is seekable are dropped.
    connect(m_media, &QMediaPlayer::seekableChanged, this, &TimelinePlayer::onMediaStatus);
    connect(m_media, &QMediaPlayer::errorOccurred, this, &TimelinePlayer::onMediaError);
}

TimelinePlayer::~TimelinePlayer()
{
    m_seekCompletion = nullptr;
    m_media->stop();
}

void TimelinePlayer::selectMediaBackend()
{
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

PreviewPlayer::ItemId TimelinePlayer::replaceItem(std::optional<PreviewPlan> plan)
{
    finishSeek(false);
    setRunning(false);
    m_media->pause();
    m_switching = false;
    m_switchTimeout.stop();
    m_pieces.clear();
    m_index = -1;
    m_time = 0;
    m_lastReported = 0;
    m_status = ItemStatus::unknown;
    m_error.clear();
    m_framesShown = 0;
    clearFrame();

    if (!plan) {
        m_item = 0;
        m_direct = false;
        m_mediaUrl.clear();
        m_mediaLoaded = false;
        m_media->setSource(QUrl());
        return m_item;
    }

    m_item = ++m_lastItem;
    m_renderSize = plan->renderSize;
    m_direct = plan->isDirect();
    if (m_direct) {
        // The length is known once the file is loaded.
        m_pieces.push_back({0, std::numeric_limits<double>::infinity(), plan->directUrl, 0, {}, std::nullopt});
    } else {
        double cursor = 0;
        for (const PreviewPiece &p : plan->pieces) {
            const double start = compositionSeconds(p.start);
            const double stop = compositionSeconds(p.end());
            if (start > cursor) // the composed item is black before its first piece
                m_pieces.push_back({cursor, start, {}, 0, {}, std::nullopt});
            m_pieces.push_back({start, stop, p.url, compositionSeconds(p.sourceStart), p.naturalSize, p.fit});
            cursor = stop;
        }
    }

    // Load the first clip at once: its readiness is the item's, and it is preloaded
    // when the timeline starts with black.
    QUrl first;
    for (const Piece &p : m_pieces) {
        if (!p.isGap()) {
            first = p.url;
            break;
        }
    }
    m_index = m_pieces.empty() ? -1 : 0;
    if (first.isEmpty()) {
        m_mediaUrl.clear();
        m_mediaLoaded = false;
        m_media->setSource(QUrl());
        const ItemId item = m_item;
        QMetaObject::invokeMethod(this, [this, item] {
            if (m_item == item && m_status == ItemStatus::unknown)
                setStatus(ItemStatus::readyToPlay);
        }, Qt::QueuedConnection);
        return m_item;
    }
    m_mediaUrl = first;
    m_mediaLoaded = false;
    m_media->setSource(first);
    if (!m_pieces.front().isGap())
        enterPiece(0, 0);
    else
        m_gapClock.restart();
    return m_item;
}

int TimelinePlayer::pieceAt(double time) const
{
    for (int i = 0; i < int(m_pieces.size()); ++i) {
        if (time < m_pieces[i].end)
            return i;
    }
    return int(m_pieces.size()) - 1;
}

double TimelinePlayer::end() const
{
    return m_pieces.empty() ? 0 : m_pieces.back().end;
}

void TimelinePlayer::enterPiece(int index, double time)
{
    m_index = index;
    m_time = time;
    m_lastReported = time;
    const Piece &p = m_pieces[index];
    if (p.isGap()) {
        m_switching = false;
        m_switchTimeout.stop();
        m_media->pause();
        clearFrame();
        m_gapClock.restart();
        finishSeek(true);
        return;
    }
    m_switching = true;
    m_positionIssued = false;
    // A seek to the very end shows the last frame rather than running off the clip.
    const double into = std::min(time - p.start, std::max(0.0, p.end - p.start - 0.001));
    m_target = p.sourceStart + std::max(0.0, into);
    if (m_mediaUrl != p.url) {
        m_mediaUrl = p.url;
        m_mediaLoaded = false;
        m_media->setSource(p.url);
        return; // positioned when loaded: earlier seeks are ignored
    }
    if (m_mediaLoaded)
        positionMedia();
}

void TimelinePlayer::positionMedia()
{
    m_positionIssued = true;
    if (m_running)
        m_media->play();
    else
        m_media->pause();
    m_media->setPosition(qint64(std::llround(m_target * 1000)));
    m_switchTimeout.start();
}

void TimelinePlayer::finishSwitch()
{
    m_switching = false;
    m_switchTimeout.stop();
    finishSeek(true);
}

void TimelinePlayer::onMediaStatus()
{
    const QMediaPlayer::MediaStatus status = m_media->mediaStatus();
    if (m_media->source() != m_mediaUrl || m_mediaUrl.isEmpty())
        return;
    switch (status) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferedMedia:
        if (m_mediaLoaded || !m_media->isSeekable())
            break;
        m_mediaLoaded = true;
        if (!m_media->hasVideo()) {
            // Sound alone is no video; the service names the file.
            setStatus(ItemStatus::failed);
            return;
        }
        if (m_direct && !m_pieces.empty())
            m_pieces.front().end = std::max(0.001, m_media->duration() / 1000.0);
        if (m_status == ItemStatus::unknown)
            setStatus(ItemStatus::readyToPlay);
        if (m_switching && m_index >= 0 && m_pieces[m_index].url == m_mediaUrl)
            positionMedia();
        break;
    case QMediaPlayer::EndOfMedia:
        // The clip ended a little before its piece did: go on with the next piece.
        if (m_running && m_index >= 0 && !m_pieces[m_index].isGap() && !m_switching)
            advance();
        break;
    case QMediaPlayer::InvalidMedia:
        onMediaError();
        break;
    default:
        break;
    }
}

void TimelinePlayer::onMediaError()
{
    if (m_media->error() == QMediaPlayer::NoError && m_media->mediaStatus() != QMediaPlayer::InvalidMedia)
        return;
    QString message = m_media->errorString();
    if (message.isEmpty())
        message = QCoreApplication::translate("TimelinePlayer", "Cannot play %1").arg(m_mediaUrl.fileName());
    setRunning(false);
    m_media->pause();
    m_switching = false;
    m_switchTimeout.stop();
    finishSeek(false);
    if (m_status != ItemStatus::failed)
        setStatus(ItemStatus::failed, message);
}

void TimelinePlayer::setStatus(ItemStatus status, const QString &error)
{
    m_status = status;
    m_error = error;
    emit itemStatusChanged(m_item, status);
}

void TimelinePlayer::play()
{
    if (!m_item || m_running || m_index < 0 || m_status == ItemStatus::failed)
        return;
    if (m_time >= end()) {
        emit playedToEnd(m_item);
        return;
    }
    setRunning(true);
    m_lastReported = m_time;
    const Piece &p = m_pieces[m_index];
    if (p.isGap())
        m_gapClock.restart();
    else if (!m_switching)
        m_media->play();
}

void TimelinePlayer::pause()
{
    if (!m_running)
        return;
    m_time = currentTime();
    m_lastReported = m_time;
    setRunning(false);
    if (m_index >= 0 && !m_pieces[m_index].isGap())
        m_media->pause();
    emit periodicTime(m_time);
}

void TimelinePlayer::setRunning(bool running)
{
    if (running)
        m_tick.start();
    else
        m_tick.stop();
    if (m_running == running)
        return;
    m_running = running;
    emit playingChanged(running);
}

double TimelinePlayer::currentTime() const
{
    if (!m_item)
        return std::numeric_limits<double>::quiet_NaN();
    if (!m_running || m_index < 0 || m_switching)
        return m_time;
    const Piece &p = m_pieces[m_index];
    double t;
    if (p.isGap())
        t = m_time + m_gapClock.nsecsElapsed() / 1e9;
    else
        t = p.start + (m_media->position() / 1000.0 - p.sourceStart);
    t = std::clamp(t, p.start, p.end);
    return std::max(t, m_lastReported);
}

void TimelinePlayer::tick()
{
    if (!m_running || m_index < 0)
        return;
    const double t = currentTime();
    m_lastReported = t;
    if (!m_switching && t >= m_pieces[m_index].end - 1e-6) {
        advance();
        return;
    }
    emit periodicTime(t);
}

void TimelinePlayer::advance()
{
    const double boundary = m_pieces[m_index].end;
    if (m_index + 1 >= int(m_pieces.size())) {
        m_time = boundary;
        m_lastReported = boundary;
        setRunning(false);
        m_media->pause();
        emit periodicTime(boundary);
        emit playedToEnd(m_item);
        return;
    }
    enterPiece(m_index + 1, boundary);
    emit periodicTime(boundary);
}

void TimelinePlayer::seek(double seconds, std::function<void(bool finished)> completion)
{
    finishSeek(false);
    m_seekCompletion = std::move(completion);
    if (!m_item || m_index < 0 || !std::isfinite(seconds)) {
        finishSeek(m_item != 0);
        return;
    }
    const double t = std::clamp(seconds, 0.0, end());
    enterPiece(pieceAt(t), t);
    emit periodicTime(t);
}

void TimelinePlayer::finishSeek(bool finished)
{
    if (!m_seekCompletion)
        return;
    // Always later, as a real seek would be: callers may still be in the middle of seeking.
    QMetaObject::invokeMethod(this, [done = std::move(m_seekCompletion), finished] { done(finished); },
                              Qt::QueuedConnection);
    m_seekCompletion = nullptr;
}

void TimelinePlayer::takeFrame(const QVideoFrame &frame)
{
    if (m_index < 0 || m_pieces[m_index].isGap() || !frame.isValid())
        return;
    if (m_media->source() != m_mediaUrl || !m_mediaLoaded)
        return;
    if (m_switching) {
        if (!m_positionIssued)
            return;
        const qint64 start = frame.startTime();
        if (start >= 0 && std::fabs(start / 1e6 - m_target) > staleFrameTolerance)
            return;
    }
    m_frame = frame;
    m_imageValid = false;
    ++m_framesShown;
    if (m_switching)
        finishSwitch();
    emit frameChanged();
}

void TimelinePlayer::clearFrame()
{
    const bool had = m_frame.isValid();
    m_frame = QVideoFrame();
    m_image = QImage();
    m_imageValid = true;
    if (had)
        emit frameChanged();
}

QImage TimelinePlayer::currentFrame() const
{
    if (!m_imageValid) {
        m_image = m_frame.isValid() ? m_frame.toImage() : QImage();
        m_imageValid = true;
    }
    return m_image;
}

QTransform TimelinePlayer::currentFrameTransform() const
{
    if (!m_frame.isValid() || m_index < 0)
        return {};
    const QSizeF size = m_frame.size();
    if (size.isEmpty())
        return {};
    const Piece &p = m_pieces[m_index];
    if (p.fit && !p.naturalSize.isEmpty())
        return QTransform::fromScale(p.naturalSize.width() / size.width(), p.naturalSize.height() / size.height())
            * *p.fit;
    const double k = std::min(m_renderSize.width() / size.width(), m_renderSize.height() / size.height());
    return QTransform::fromScale(k, k)
        * QTransform::fromTranslate((m_renderSize.width() - size.width() * k) / 2,
                                    (m_renderSize.height() - size.height() * k) / 2);
}

} // namespace routereel
