#include "videoplayeradapter.h"

#include "timeline/videoplayerservice.h"

namespace routereel {

VideoPlayerAdapter::VideoPlayerAdapter(VideoPlayerService &service, QObject *parent)
    : ProjectPlayer(parent), m_service(service)
{
    connect(&service, &VideoPlayerService::isLoadedChanged, this, &ProjectPlayer::isLoadedChanged);
    connect(&service, &VideoPlayerService::loadingErrorChanged, this, &ProjectPlayer::loadingErrorChanged);
}

QUrl VideoPlayerAdapter::videoURL() const { return m_service.videoURL(); }
double VideoPlayerAdapter::playheadTime() const { return m_service.clock()->playheadTime(); }
bool VideoPlayerAdapter::isLoaded() const { return m_service.isLoaded(); }
QString VideoPlayerAdapter::loadingError() const { return m_service.loadingError(); }
bool VideoPlayerAdapter::loadingErrorIsSoundOnly() const { return m_service.loadingErrorIsSoundOnly(); }

void VideoPlayerAdapter::reset() { m_service.reset(); }
void VideoPlayerAdapter::loadTimeline(const VideoTimelineSnapshot &snapshot) { m_service.loadTimeline(snapshot); }
void VideoPlayerAdapter::loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas)
{
    m_service.loadOverlayOnly(range, canvas);
}
void VideoPlayerAdapter::pause() { m_service.pause(); }
void VideoPlayerAdapter::seek(double seconds) { m_service.seek(seconds); }
void VideoPlayerAdapter::scrub(double seconds) { m_service.scrub(seconds); }

} // namespace routereel
