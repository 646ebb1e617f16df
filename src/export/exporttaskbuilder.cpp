#include "exporttaskbuilder.h"

#include "exportbitrate.h"
#include "exportsourcecheck.h"

#include "widgets/canvasgeometry.h"

#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QDateTime>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace routereel {

namespace {

constexpr double gpxRangeTolerance = 0.1;  // seconds the track may run past the video

// A pixel coordinate: truncated toward zero, never below 0. Values no int can
// hold (not finite, absurdly large) end at the nearest bound.
int pixel(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    return int(std::trunc(value));
}

// How far a widget's border reaches beyond its content; the GTA rings stand out further.
double borderAllowance(MapBorderStyle style)
{
    return borderTotalWidth(style) * (style == MapBorderStyle::gta ? 1.5 : 1.0);
}

bool usableOutput(const QSizeF &size)
{
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0;
}

// Layout points to output pixels: the layout fitted into the output frame.
struct Placement {
    QSizeF layout;
    QRectF fitted;
    double scale = 1;

    Placement(const QSizeF &layoutSize, const QSizeF &output) : layout(layoutSize)
    {
        fitted = aspectFitRect(layout, output);
        scale = fitted.width() / std::max(1.0, layout.width());
    }
    // The widget's centre, kept `halfBox` inside the layout.
    QPointF centre(const std::optional<QPointF> &position, QPointF defaultCentre, QSizeF halfBox) const
    {
        return clampedWidgetCenter(position.value_or(defaultCentre), layout, halfBox);
    }
    QPoint toPixels(QPointF centre) const
    {
        return {pixel(fitted.x() + centre.x() * scale), pixel(fitted.y() + centre.y() * scale)};
    }
};

} // namespace

ExportTaskBuilder::PlayerState ExportTaskBuilder::PlayerState::of(const VideoPlayerService &player)
{
    PlayerState state;
    state.videoURL = player.videoURL();
    state.isLoaded = player.isLoaded();
    state.isMetadataReady = player.isMetadataReady();
    state.duration = player.duration();
    state.videoFPS = player.videoFPS();
    state.videoBitRate = player.videoBitRate();
    return state;
}

ExportTaskBuilder::ExportTaskBuilder(const Models &models, PlayerState player, WindowState state)
    : m_models(models), m_player(std::move(player)), m_state(std::move(state))
{
}

bool ExportTaskBuilder::canExport() const
{
    if (isOverlay())
        return !m_models.gpxService.tracks().isEmpty() && m_models.engine.gpxTimeRange().has_value();
    return m_player.isLoaded && m_player.isMetadataReady && !m_player.videoURL.isEmpty()
        && !m_models.gpxService.tracks().isEmpty();
}

std::optional<ExportStartError> ExportTaskBuilder::checkWidgets() const
{
    const bool any = m_models.mapSettings.enabled() || m_models.gpsPathSettings.enabled()
        || m_models.timeSettings.enabled() || m_models.speedSettings.enabled() || m_models.heartRateSettings.enabled()
        || m_models.heartRateGraphSettings.enabled();
    if (any)
        return std::nullopt;
    return ExportStartError::noWidgets();
}

bool ExportTaskBuilder::needsNetwork() const
{
    return m_models.mapSettings.enabled() || (m_models.gpsPathSettings.enabled() && m_models.gpsPathSettings.showMap());
}

ExportPreset ExportTaskBuilder::effectiveExportPreset() const
{
    return overlayPresetFor(m_state.selectedPreset);
}

QList<ExportPreset> ExportTaskBuilder::offeredExportPresets() const
{
    return isOverlay() ? overlayPresets() : availablePresets(canvasSize());
}

double ExportTaskBuilder::exportFrameRate() const
{
    return isOverlay() ? 30.0 : m_player.videoFPS;
}

QSizeF ExportTaskBuilder::canvasSize() const
{
    return m_models.engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize);
}

QSizeF ExportTaskBuilder::exportOutputSize(ExportPreset preset) const
{
    return isOverlay() ? outputSize(preset, canvasSize()) : canvasSize();
}

double ExportTaskBuilder::outputScale(ExportPreset preset) const
{
    return isOverlay() ? 1.0 : regularOutputScale(preset, exportOutputSize(preset));
}

std::optional<qint64> ExportTaskBuilder::estimatedExportBytes(ExportPreset preset) const
{
    const double factor = clampedCompressionFactor(m_state.compressionFactor);
    if (!isOverlay())
        return estimatedTimelineOutputBytes(m_models.engine.videoSnapshot(), outputScale(preset), factor);
    const auto range = m_models.engine.gpxTimeRange();
    if (!range)
        return std::nullopt;
    const QSizeF size = exportOutputSize(preset);
    return estimatedOutputBytes(CompositionMode::overlay, range->upper - range->lower, size.width(), size.height(),
                                30, 0, 0, 1.0, factor);
}

double ExportTaskBuilder::clampedCompressionFactor(double stored)
{
    return std::isfinite(stored) ? std::min(std::max(stored, 0.6), 1.0) : 1.0;
}

QStringList ExportTaskBuilder::usedSourcePaths() const
{
    QStringList paths;
    if (isOverlay())
        return paths;
    const TimelineEngine &engine = m_models.engine;
    const QList<VideoSegment> videoSegments = engine.videoSegments();
    for (const VideoSource &source : engine.videoSources()) {
        const bool used = std::any_of(videoSegments.begin(), videoSegments.end(),
                                      [&](const VideoSegment &s) { return s.sourceID == source.id; });
        const QString path = source.url.toLocalFile();
        if (used && !paths.contains(path))
            paths << path;
    }
    return paths;
}

std::optional<ExportStartError> ExportTaskBuilder::check() const
{
    return check(exportsourcecheck::firstUnreachableSource(usedSourcePaths()));
}

std::optional<ExportStartError> ExportTaskBuilder::check(const std::optional<ExportError> &unreachable) const
{
    if (m_models.gpxService.tracks().isEmpty())
        return ExportStartError::noTracks();
    if (!isOverlay()) {
        if (m_player.videoURL.isEmpty())
            return ExportStartError::noVideo();
        if (unreachable)
            return ExportStartError::sourceVideo(*unreachable);
        if (!m_player.isMetadataReady)
            return ExportStartError::metadataLoading();
        const TimelineEngine &engine = m_models.engine;
        double gpxEnd = 0;
        for (const GPXSegment &s : engine.segments())
            gpxEnd = std::max(gpxEnd, s.offset + (s.gpxEnd - s.gpxStart));
        if (gpxEnd > m_player.duration + gpxRangeTolerance)
            return ExportStartError::gpxBeyondVideo(gpxEnd, m_player.duration);
    }
    if (!canExport())
        return ExportStartError::notReady();
    if (!usableOutput(exportOutputSize(isOverlay() ? effectiveExportPreset() : m_state.selectedPreset)))
        return ExportStartError::invalidResolution();
    return std::nullopt;
}

std::variant<ExportTask, ExportStartError> ExportTaskBuilder::build(const QUrl &outputURL) const
{
    return build(outputURL, exportsourcecheck::firstUnreachableSource(usedSourcePaths()));
}

std::variant<ExportTask, ExportStartError> ExportTaskBuilder::build(const QUrl &outputURL,
                                                                    const std::optional<ExportError> &unreachable) const
{
    if (const auto error = check(unreachable))
        return *error;
    const ExportPreset preset = isOverlay() ? effectiveExportPreset() : m_state.selectedPreset;
    return makeTask(outputURL, preset, exportOutputSize(preset));
}

ExportTask ExportTaskBuilder::makeTask(const QUrl &outputURL, ExportPreset preset, const QSizeF &output) const
{
    const TimelineEngine &engine = m_models.engine;
    const bool overlay = isOverlay();
    ExportTask task;
    task.createdAt = QDateTime::currentDateTimeUtc();
    task.compositionMode = m_state.compositionMode;
    task.outputURL = outputURL;
    task.tracks = m_models.gpxService.tracks();
    task.segments = engine.segments();
    // In both modes: an overlay export reads no clip, but must not land on one either.
    for (const VideoSource &source : engine.videoSources()) {
        if (source.url.isLocalFile())
            task.protectedFiles.append(source.url.toLocalFile());
    }
    task.protectedFiles += m_state.protectedFiles;
    task.videoResolution = output;
    task.videoFPS = exportFrameRate();
    if (overlay) {
        task.videoTimeline = VideoTimelineSnapshot{};
        const auto range = engine.gpxTimeRange();
        task.videoDuration = range ? range->upper - range->lower : 0;
        task.videoBitRate = 0;
        task.outputScale = 1;
    } else {
        task.videoURL = m_player.videoURL;
        const VideoTimelineSnapshot snapshot = engine.videoSnapshot();
        task.videoTimeline = snapshot;
        if (!snapshot.segments.isEmpty()) {
            double maxEnd = -std::numeric_limits<double>::infinity();
            double minOffset = std::numeric_limits<double>::infinity();
            for (const VideoSegment &s : snapshot.segments) {
                maxEnd = std::max(maxEnd, s.offset + (s.sourceEnd - s.sourceStart));
                minOffset = std::min(minOffset, s.offset);
            }
            task.videoDuration = std::max(0.0, maxEnd - minOffset);
        }
        task.videoBitRate = m_player.videoBitRate;
        task.outputScale = outputScale(preset);
    }
    task.compressionFactor = clampedCompressionFactor(m_state.compressionFactor);
    task.mapProvider = m_state.mapProvider;
    task.mapboxToken = m_state.mapboxToken;
    task.mapLanguage = m_state.mapLanguage;

    const Placement place(m_state.layoutSize, output);
    const double s = place.scale;
    const QSizeF L = place.layout;
    task.previewToVideoScale = s;

    const MapSettings &map = m_models.mapSettings;
    const double w = map.width();
    const double e = map.effectiveHeight();
    const double i = borderAllowance(map.borderStyle());
    task.mapEnabled = map.enabled();
    task.mapSize = QSizeF(w * s, e * s);
    task.mapReferenceSize = QSizeF(w, e);
    task.mapShape = map.shape();
    task.mapBorderStyle = map.borderStyle();
    task.cornerRadius = w > 0 ? map.cornerRadius() * (w * s) / w : 0;
    task.orientation = map.orientation();
    task.zoomLevel = map.zoomLevel();
    task.overlayOpacity = map.opacity();
    // The stored corner is the map's own, without its ring.
    const QPointF m = place.centre(m_state.mapPosition, {w / 2 + 16, e / 2 + 16}, {w / 2 + i, e / 2 + i});
    task.overlayX = pixel(place.fitted.x() + (m.x() - w / 2) * s);
    task.overlayY = pixel(place.fitted.y() + (m.y() - e / 2) * s);

    const auto text = [&](bool enabled, double fontSize, QColor color, double opacity,
                          const std::optional<QPointF> &position, QPointF defaultCentre) {
        TextWidgetExportConfig config;
        config.enabled = enabled;
        config.fontSize = fontSize * s;
        config.textColor = color;
        config.opacity = opacity;
        const QPoint p = place.toPixels(place.centre(position, defaultCentre, {0, 0}));
        config.x = p.x();
        config.y = p.y();
        return config;
    };
    const TimeWidgetSettings &time = m_models.timeSettings;
    task.timeWidget = text(time.enabled(), time.fontSize(), widgetColor(time.textColor()), time.opacity(),
                           m_state.timePosition, {L.width() - 80, L.height() - 30});
    const SpeedWidgetSettings &speed = m_models.speedSettings;
    task.speedWidget = text(speed.enabled(), speed.fontSize(), widgetColor(speed.textColor()), speed.opacity(),
                            m_state.speedPosition, {80, L.height() - 30});
    task.speedWidget.speedUnit = speed.unit();
    const HeartRateWidgetSettings &heart = m_models.heartRateSettings;
    task.heartRateWidget = text(heart.enabled(), heart.fontSize(), widgetColor(heart.textColor()), heart.opacity(),
                                m_state.heartRatePosition, {80, L.height() - 66});
    task.heartRateWidget.hrShowIcon = heart.showIcon();
    task.heartRateWidget.hrShowMinMax = heart.showMinMax();

    const HeartRateGraphWidgetSettings &graph = m_models.heartRateGraphSettings;
    const double gw = graph.width();
    const double gh = graph.height();
    task.heartRateGraphWidget.enabled = graph.enabled();
    task.heartRateGraphWidget.pixelWidth = gw * s;
    task.heartRateGraphWidget.pixelHeight = gh * s;
    task.heartRateGraphWidget.referenceWidth = gw;
    task.heartRateGraphWidget.opacity = graph.opacity();
    task.heartRateGraphWidget.lineColor = widgetColor(graph.lineColor());
    const QPoint g = place.toPixels(place.centre(m_state.heartRateGraphPosition,
                                                 {L.width() - gw / 2 - 16, L.height() - gh / 2 - 200},
                                                 {gw / 2, gh / 2}));
    task.heartRateGraphWidget.centerX = g.x();
    task.heartRateGraphWidget.centerY = g.y();

    const GPSPathWidgetSettings &path = m_models.gpsPathSettings;
    const double ps = path.width();
    const double j = borderAllowance(path.borderStyle());
    task.gpsPathWidget.enabled = path.enabled();
    task.gpsPathWidget.pixelSize = ps * s;
    task.gpsPathWidget.referenceSize = ps;
    task.gpsPathWidget.opacity = path.opacity();
    task.gpsPathWidget.showMap = path.showMap();
    task.gpsPathWidget.padding = path.padding() * s;
    task.gpsPathWidget.borderStyle = path.borderStyle();
    const QPoint p = place.toPixels(place.centre(m_state.gpsPathPosition,
                                                 {L.width() - ps / 2 - 16, L.height() - ps / 2 - 16},
                                                 {ps / 2 + j, ps / 2 + j}));
    task.gpsPathWidget.centerX = p.x();
    task.gpsPathWidget.centerY = p.y();
    return task;
}

} // namespace routereel
