#pragma once

#include "playbackclock.h"
#include "previewplayer.h"
#include "videotimelinesnapshot.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QSizeF>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace routereel {

// The preview player of the main window. Video mode plays the timeline's video
// lane composed into one item; overlay-only mode has no video and runs the clock
// by itself over a time range so that the widgets can be previewed alone.
// What the user asked for (wantsToPlay) is kept apart from what happens
// (isPlaying); results of loads and seeks that a newer one overtook are dropped.
class VideoPlayerService : public QObject {
    Q_OBJECT
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(bool isLoaded READ isLoaded NOTIFY isLoadedChanged)
    Q_PROPERTY(bool isMetadataReady READ isMetadataReady NOTIFY isMetadataReadyChanged)
    Q_PROPERTY(QUrl videoURL READ videoURL NOTIFY videoURLChanged)
    Q_PROPERTY(QSizeF videoResolution READ videoResolution NOTIFY videoResolutionChanged)
    Q_PROPERTY(double videoFPS READ videoFPS NOTIFY videoFPSChanged)
    Q_PROPERTY(double videoBitRate READ videoBitRate NOTIFY videoBitRateChanged)
    Q_PROPERTY(QString loadingError READ loadingError NOTIFY loadingErrorChanged)
    Q_PROPERTY(bool wantsToPlay READ wantsToPlay NOTIFY wantsToPlayChanged)

public:
    // Takes ownership of `player`, the one media player, never replaced.
    explicit VideoPlayerService(PreviewPlayer *player, QObject *parent = nullptr);
    ~VideoPlayerService() override;

    PreviewPlayer *player() const { return m_player; }
    PlaybackClock *clock() const { return m_clock; }

    double duration() const { return m_duration; }
    bool isPlaying() const { return m_isPlaying; }
    bool isLoaded() const { return m_isLoaded; }
    bool isMetadataReady() const { return m_isMetadataReady; }
    QUrl videoURL() const { return m_videoURL; }
    QSizeF videoResolution() const { return m_videoResolution; }
    double videoFPS() const { return m_videoFPS; }
    double videoBitRate() const { return m_videoBitRate; }
    QString loadingError() const { return m_loadingError; }
    // The loading error leaves the item playing: a clip's sound, or a stretch of its
    // pictures, could not be read.
    bool loadingErrorIsSoundOnly() const { return !m_loadingError.isEmpty() && m_loadingError == m_playsOnError; }

    const std::optional<VideoTimelineSnapshot> &timelineSnapshot() const { return m_timelineSnapshot; }
    bool wantsToPlay() const { return m_wantsToPlay; }
    bool isSeeking() const { return m_isSeeking; }
    std::optional<std::pair<double, double>> overlayRange() const { return m_overlayRange; }

    void reset();
    void loadTimeline(const VideoTimelineSnapshot &snapshot);
    void loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas);
    void play();
    void pause();
    void seek(double seconds);
    void scrub(double seconds);
    void performSeek(double seconds);

    // Seconds of a monotonic clock; replaceable so that tests can drive the overlay clock.
    void setUptimeSource(std::function<double()> uptime);

signals:
    void durationChanged();
    void isPlayingChanged();
    void isLoadedChanged();
    void isMetadataReadyChanged();
    void videoURLChanged();
    void videoResolutionChanged();
    void videoFPSChanged();
    void videoBitRateChanged();
    void loadingErrorChanged();
    // Play was asked for or given up: also while a load or a seek holds the player still.
    void wantsToPlayChanged();

private:
    void periodicTime(double seconds);
    void playerPlayingChanged(bool playing);
    void planFinished(quint64 revision, const VideoSource &primary);
    void itemStatusChanged(PreviewPlayer::ItemId item, PreviewPlayer::ItemStatus status);
    void itemReady(const VideoSource &primary);
    void overlayTick();
    void cancelLoadTask();
    double uptime() const;

    void setDuration(double value);
    void setIsPlaying(bool value);
    void setIsLoaded(bool value);
    void setIsMetadataReady(bool value);
    void setVideoURL(const QUrl &value);
    void setVideoResolution(const QSizeF &value);
    void setVideoFPS(double value);
    void setVideoBitRate(double value);
    void setLoadingError(const QString &value);
    void setWantsToPlay(bool value);

    PreviewPlayer *m_player;
    PlaybackClock *m_clock;

    double m_duration = 0;
    bool m_isPlaying = false;
    bool m_isLoaded = false;
    bool m_isMetadataReady = false;
    QUrl m_videoURL;
    QSizeF m_videoResolution = VideoTimelineSnapshot::defaultCanvasSize;
    double m_videoFPS = 30;
    double m_videoBitRate = 0;
    QString m_loadingError;
    QString m_playsOnError;

    std::optional<VideoTimelineSnapshot> m_timelineSnapshot;
    quint64 m_timelineRevision = 1;
    bool m_wantsToPlay = false;
    quint64 m_seekRevision = 1;
    quint64 m_lastRevision = 1;
    bool m_isSeeking = false;
    std::optional<std::pair<double, double>> m_overlayRange;
    QTimer m_overlayTimer;
    std::optional<std::pair<double, double>> m_overlayPlaybackAnchor; // (uptime, timeline time)

    // The item whose first settled status and end of play are awaited, with the
    // load revision it belongs to and the source that names it.
    struct ItemWatch {
        PreviewPlayer::ItemId item = 0;
        quint64 revision = 0;
        bool awaitingStatus = false;
        VideoSource primary;
    };
    std::optional<ItemWatch> m_itemWatch;
    QFutureWatcher<std::optional<PreviewPlan>> *m_loadTask = nullptr;
    std::shared_ptr<std::atomic_bool> m_loadCancel;

    QElapsedTimer m_monotonic;
    std::function<double()> m_uptime;
};

} // namespace routereel
