#include "exportdrawing.h"

#include "timeline/timelineengine.h"
#include "widgets/heartrateminmaxreducer.h"
#include "widgets/widgetborderring.h"

#include <algorithm>

namespace routereel {

namespace {

std::unique_ptr<GPSPathRenderer> pathRendererFor(const ExportTask &task)
{
    const GPSPathWidgetExportConfig &config = task.gpsPathWidget;
    if (!config.enabled)
        return nullptr;
    return std::make_unique<GPSPathRenderer>(task.mapProvider, config.pixelSize, config.referenceSize, config.opacity,
                                             config.padding);
}

std::unique_ptr<HeartRateGraphRenderer> graphRendererFor(const HeartRateGraphWidgetExportConfig &config,
                                                         const QList<GPXTrack> &effectiveTracks)
{
    if (!config.enabled)
        return nullptr;
    auto renderer = std::make_unique<HeartRateGraphRenderer>(config.lineColor, config.pixelWidth, config.pixelHeight,
                                                             std::max(1.0, config.referenceWidth), config.opacity);
    renderer->buildCurvePath(effectiveTracks);
    return renderer;
}

OverlayFrameComposer::MapGroup mapGroup(const ExportTask &task, const PipeFrame &pipe, TileMapRenderer &renderer)
{
    const double scale = task.mapSize.width() / std::max(1.0, task.mapReferenceSize.width());
    OverlayFrameComposer::MapGroup map;
    map.enabled = task.mapEnabled;
    map.renderer = &renderer;
    map.rect = QRect(pipe.mapOrigin, QSize(int(task.mapSize.width()), int(task.mapSize.height())));
    map.opacity = task.overlayOpacity;
    map.shape = task.mapShape;
    map.cornerRadius = task.cornerRadius;
    map.orientation = task.orientation;
    map.borderWidth = borderTotalWidth(task.mapBorderStyle) * scale;
    if (task.mapEnabled) {
        map.ring = mapBorderRing(task.mapShape, map.rect.width(), map.rect.height(), task.mapBorderStyle, scale,
                                 task.cornerRadius);
        if (task.mapBorderStyle == MapBorderStyle::gta)
            map.badge = northBadgeImage(2 * map.borderWidth, std::max(1.0, scale));
    }
    return map;
}

OverlayFrameComposer::GPSPathGroup pathGroup(const GPSPathWidgetExportConfig &config, GPSPathRenderer *renderer,
                                             const QList<TrackPoint> &points)
{
    const double scale = config.pixelSize / std::max(1.0, config.referenceSize);
    OverlayFrameComposer::GPSPathGroup path;
    path.config = config;
    path.borderWidth = borderTotalWidth(config.borderStyle) * scale;
    if (config.enabled) {
        path.ring = gpsPathBorderRing(config.borderStyle, config.pixelSize, config.referenceSize);
        if (config.borderStyle == MapBorderStyle::gta)
            path.badge = northBadgeImage(2 * path.borderWidth, std::max(1.0, scale));
        path.renderer = renderer;
        path.points = points;
    }
    return path;
}

FrameParamsContext frameContext(const ExportTask &task, const TimelineEngine &engine, double start,
                                const QList<GPXTrack> &effectiveTracks)
{
    FrameParamsContext context;
    context.needsTrackData = task.mapEnabled || task.timeWidget.enabled || task.speedWidget.enabled
        || task.heartRateWidget.enabled || task.gpsPathWidget.enabled || task.heartRateGraphWidget.enabled;
    context.engine = &engine;
    context.tracks = task.tracks;
    context.startTime = start;
    context.frameRate = task.frameRate();
    context.orientation = task.orientation;
    context.texts = {task.timeWidget, task.speedWidget, task.heartRateWidget};
    if (task.heartRateWidget.enabled && task.heartRateWidget.showsMinMax())
        context.heartRateMinMax = HeartRateMinMaxReducer::minMax(effectiveTracks);
    return context;
}

} // namespace

ExportDrawing::ExportDrawing(const ExportTask &task, const PipeFrame &pipe, const TimelineEngine &engine, double start,
                             TileMapRenderer &mapRenderer, const QList<TrackPoint> &pathPoints)
    : ExportDrawing(task, pipe, engine, start, mapRenderer, pathPoints, engine.effectiveTracks(task.tracks))
{
}

ExportDrawing::ExportDrawing(const ExportTask &task, const PipeFrame &pipe, const TimelineEngine &engine, double start,
                             TileMapRenderer &mapRenderer, const QList<TrackPoint> &pathPoints,
                             const QList<GPXTrack> &effectiveTracks)
    : m_pathRenderer(pathRendererFor(task)),
      m_graphRenderer(graphRendererFor(task.heartRateGraphWidget, effectiveTracks)),
      m_composer(OverlayFrameComposer::Setup{
          .width = pipe.width,
          .height = pipe.height,
          .overlayMode = task.compositionMode == CompositionMode::overlay,
          .map = mapGroup(task, pipe, mapRenderer),
          .texts = {task.timeWidget, task.speedWidget, task.heartRateWidget},
          .gpsPath = pathGroup(task.gpsPathWidget, m_pathRenderer.get(), pathPoints),
          .graph = {m_graphRenderer.get(),
                    m_graphRenderer ? task.heartRateGraphWidget : HeartRateGraphWidgetExportConfig()},
      }),
      m_context(frameContext(task, engine, start, effectiveTracks))
{
}

QRegion ExportDrawing::reach(double textScale) const
{
    return m_composer.reach(widestTextImages(m_context, textScale));
}

} // namespace routereel
