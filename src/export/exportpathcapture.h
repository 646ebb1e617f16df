#pragma once

#include "widgetexportconfig.h"

#include "maps/gpspathfitcamera.h"
#include "timeline/timelineengine.h"

#include <QImage>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace routereel {

class OSMWebMapExportRenderer;

// The GPS path widget's one web-map picture, captured on its own page and
// thread while the rest of the export is set up.
class ExportPathCapture {
public:
    struct Background {
        QImage image;
        GPSPathFitCamera::Camera camera;
    };
    using IsCancelled = std::function<bool()>;

    // Starts the capture when the widget shows a map of a path and `page` is given.
    ExportPathCapture(const GPSPathWidgetExportConfig &config, const TimelineEngine::EffectiveTrackPoints &effective,
                      OSMWebMapExportRenderer *page, IsCancelled isCancelled);
    ~ExportPathCapture();

    ExportPathCapture(const ExportPathCapture &) = delete;
    ExportPathCapture &operator=(const ExportPathCapture &) = delete;

    // By when the page must have loaded its map; none when nothing is captured.
    std::optional<std::chrono::steady_clock::time_point> pageDeadline() const { return m_pageDeadline; }
    // Waits for the capture: its picture, or none when there is none.
    std::optional<Background> take();

    // The widget's map camera: the whole path in view, inside the widget's padding.
    static GPSPathFitCamera::Camera camera(const GPSPathWidgetExportConfig &config, const QList<TrackPoint> &points);

private:
    void join();

    std::optional<std::chrono::steady_clock::time_point> m_pageDeadline;
    std::optional<Background> m_background;
    std::thread m_thread;
};

} // namespace routereel
