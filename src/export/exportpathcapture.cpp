#include "exportpathcapture.h"

#include "maps/osmwebmapexportrenderer.h"

#include <algorithm>

namespace routereel {

ExportPathCapture::ExportPathCapture(const GPSPathWidgetExportConfig &config,
                                     const TimelineEngine::EffectiveTrackPoints &effective,
                                     OSMWebMapExportRenderer *page, IsCancelled isCancelled)
{
    if (!config.enabled || !config.showMap || effective.points.isEmpty() || !page)
        return;
    m_pageDeadline = page->loadDeadline();
    m_thread = std::thread([this, config, effective, page, isCancelled = std::move(isCancelled)] {
        if (!page->waitUntilReady(OSMWebMapExportRenderer::defaultReadyTimeout, isCancelled))
            return;
        const auto fitted = camera(config, effective.points);
        const auto image = page->captureStatic(GPSPathFitCamera::geoJSON(effective.points, effective.breaks),
                                               fitted.lng, fitted.lat, fitted.zoom, isCancelled);
        if (image)
            m_background = Background{*image, fitted};
    });
}

ExportPathCapture::~ExportPathCapture()
{
    join();
}

void ExportPathCapture::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<ExportPathCapture::Background> ExportPathCapture::take()
{
    join();
    return m_background;
}

GPSPathFitCamera::Camera ExportPathCapture::camera(const GPSPathWidgetExportConfig &config,
                                                   const QList<TrackPoint> &points)
{
    const double scale = config.pixelSize / std::max(1.0, config.referenceSize);
    return GPSPathFitCamera::fit(points, config.referenceSize, config.padding / std::max(0.001, scale));
}

} // namespace routereel
