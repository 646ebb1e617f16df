#pragma once

#include "projectplayer.h"

namespace routereel {

class VideoPlayerService;

// The window's real player as the project roads see it.
class VideoPlayerAdapter : public ProjectPlayer {
    Q_OBJECT

public:
    explicit VideoPlayerAdapter(VideoPlayerService &service, QObject *parent = nullptr);

    QUrl videoURL() const override;
    double playheadTime() const override;
    bool isLoaded() const override;
    QString loadingError() const override;
    bool loadingErrorIsSoundOnly() const override;

    void reset() override;
    void loadTimeline(const VideoTimelineSnapshot &snapshot) override;
    void loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas) override;
    void pause() override;
    void seek(double seconds) override;
    void scrub(double seconds) override;

private:
    VideoPlayerService &m_service;
};

} // namespace routereel
