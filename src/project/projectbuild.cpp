#include "projectsession.h"

#include "projectplayer.h"
#include "projectwindow.h"

#include "widgets/canvasgeometry.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "widgets/widgettextcolor.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

std::optional<double> xOf(const std::optional<QPointF> &p)
{
    return p ? std::optional<double>(p->x()) : std::nullopt;
}

std::optional<double> yOf(const std::optional<QPointF> &p)
{
    return p ? std::optional<double>(p->y()) : std::nullopt;
}

// The factor the export sheet may use: 0.6 to 1, and 1 for anything not finite.
double savedCompressionFactor(double stored)
{
    if (!std::isfinite(stored))
        return 1.0;
    return std::min(std::max(stored, 0.6), 1.0);
}

const QString white = enumText(WidgetTextColor::white);

} // namespace

QSizeF ProjectSession::resolveLayoutSize() const
{
    const QSizeF canvas = m_window.engine().canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize);
    return referenceCanvasSize(canvas, m_window.widgetLayoutSize());
}

// Security-scoped bookmarks do not exist here: no file reference carries one.
ProjectDocument ProjectSession::makeProjectDocument() const
{
    ProjectWindow &w = m_window;
    const TimelineEngine &engine = w.engine();
    const WidgetPositions positions = w.widgetPositions();
    ProjectDocument d;
    d.version = ProjectDocument::currentVersion;

    const QUrl videoURL = w.player().videoURL();
    if (!videoURL.isEmpty())
        d.videoPath = videoURL.toLocalFile();

    QList<VideoFileRef> videoFiles;
    for (const VideoSource &source : engine.videoSources())
        videoFiles.append(VideoFileRef{source.id, source.url.toLocalFile(), std::nullopt});
    d.videoFiles = videoFiles;
    d.videoSegments = engine.videoSegments();

    for (const GPXTrack &track : w.gpxService().tracks())
        d.gpxFiles.append(GPXFileRef{track.fileURL.isEmpty() ? QString() : track.fileURL.toLocalFile(), std::nullopt,
                                     ProjectDocument::uuidText(track.id)});
    for (const GPXSegment &segment : engine.segments())
        d.segments.append(SegmentData{ProjectDocument::uuidText(segment.id),
                                      ProjectDocument::uuidText(segment.trackID), segment.gpxStart, segment.gpxEnd,
                                      segment.offset});

    const MapSettings &map = w.mapSettings();
    d.map.enabled = map.enabled();
    d.map.provider = enumText(w.mapProvider());
    d.map.shape = enumText(map.shape());
    d.map.borderStyle = enumText(map.borderStyle());
    d.map.width = map.width();
    d.map.height = map.height();
    d.map.cornerRadius = map.cornerRadius();
    d.map.orientation = enumText(map.orientation());
    d.map.zoomLevel = map.zoomLevel();
    d.map.opacity = map.opacity();
    d.map.positionX = xOf(positions.map);
    d.map.positionY = yOf(positions.map);

    const TimeWidgetSettings &time = w.timeSettings();
    d.timeWidget = TimeWidgetData{time.enabled(), time.fontSize(), time.opacity(), white,
                                  xOf(positions.time), yOf(positions.time)};

    const SpeedWidgetSettings &speed = w.speedSettings();
    d.speedWidget = SpeedWidgetData{speed.enabled(), speed.fontSize(), speed.opacity(), white,
                                    enumText(speed.unit()), xOf(positions.speed), yOf(positions.speed)};

    const GPSPathWidgetSettings &path = w.gpsPathSettings();
    d.gpsPathWidget = GPSPathWidgetData{path.enabled(), path.width(), path.opacity(), path.showMap(),
                                        path.padding(), enumText(path.borderStyle()),
                                        xOf(positions.gpsPath), yOf(positions.gpsPath)};

    const HeartRateWidgetSettings &heartRate = w.heartRateSettings();
    d.heartRateWidget = HeartRateWidgetData{heartRate.enabled(), heartRate.fontSize(), heartRate.opacity(), white,
                                            xOf(positions.heartRate), yOf(positions.heartRate),
                                            heartRate.showIcon(), heartRate.showMinMax()};

    const HeartRateGraphWidgetSettings &graph = w.heartRateGraphSettings();
    d.heartRateGraphWidget = HeartRateGraphWidgetData{graph.enabled(), graph.width(), graph.height(),
                                                      graph.opacity(), white, xOf(positions.heartRateGraph),
                                                      yOf(positions.heartRateGraph)};

    d.playheadTime = w.player().playheadTime();
    d.exportPreset = enumText(w.selectedPreset());
    d.exportCompressionFactor = savedCompressionFactor(w.exportCompressionFactor());
    d.compositionMode = enumText(w.compositionMode());
    d.canvasOrigin = engine.canvasOrigin();
    d.widgetLayoutSize = resolveLayoutSize();
    return d;
}

} // namespace routereel
