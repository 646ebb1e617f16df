#include "projectsession.h"

#include "projectfilesondisk.h"
#include "projectplayer.h"
#include "projectwindow.h"
#include "strictjsonreader.h"
#include "videorestoretask.h"

#include "base/usablesize.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/settingsstore.h"
#include "widgets/speedunit.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

std::optional<QPointF> pointOf(const std::optional<double> &x, const std::optional<double> &y)
{
    if (x && y)
        return QPointF(*x, *y);
    return std::nullopt;
}

// Unknown texts fall back to the first case, the default.
template <typename E>
E enumOrDefault(const std::optional<QString> &text, E fallback)
{
    return text ? enumFromText<E>(*text).value_or(fallback) : fallback;
}

QString missingFilesSummary(const QStringList &missingVideos, const QStringList &missingTracks)
{
    QStringList lines;
    lines << ProjectSession::tr("Some resources referenced by this project were not found:");
    if (!missingVideos.isEmpty())
        lines << ProjectSession::tr("Video: %1").arg(missingVideos.join(QLatin1Char('\n')));
    if (!missingTracks.isEmpty()) {
        lines << ProjectSession::tr("GPX files (%1):").arg(missingTracks.size());
        for (const QString &path : missingTracks)
            lines << QStringLiteral("  ") + path;
    }
    lines << QString();
    lines << ProjectSession::tr(
        "These files may have been moved or deleted. Reload them or open a different project before exporting.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace

std::optional<QUrl> ProjectSession::resolveFileReference(const std::optional<QString> &bookmark, const QString &path,
                                                         bool isTrackFile)
{
    // Bookmarks are security-scoped data of another platform: accepted, never resolved.
    Q_UNUSED(bookmark);
    Q_UNUSED(isTrackFile);
    // A project names its files by absolute paths. Any other text ("clip.mp4",
    // "concat:a|b", "http://...") names no file of the project: read against
    // the working folder it would be whatever happens to lie there.
    if (!QDir::isAbsolutePath(path))
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

void ProjectSession::applyProject(const ProjectDocument &document)
{
    applyProject(document, ProjectFilesOnDisk::of(document));
}

void ProjectSession::applyProject(const ProjectDocument &document, const ProjectFilesOnDisk &files)
{
    ProjectWindow &w = m_window;
    TimelineEngine &engine = w.engine();
    LogStore &log = w.logStore();

    // A project replaces everything: stop what still works on the previous one.
    ++m_applies;
    w.cancelVideoImport();
    if (m_videoImportTask)
        m_videoImportTask->cancel();
    m_videoImportTask.clear();
    cancelPendingRestoreSeek();

    const std::optional<QSizeF> &layout = document.widgetLayoutSize;
    w.setWidgetLayoutSize(layout && isUsableSize(*layout) ? layout : std::nullopt);
    engine.load(document.canvasOrigin);
    w.gpxService().setTracks({});
    w.player().reset();
    const CompositionMode mode = document.compositionMode == enumText(CompositionMode::overlay)
        ? CompositionMode::overlay
        : CompositionMode::regular;
    w.setCompositionMode(mode);

    // Video files: found ones are probed later, missing ones reported now.
    QList<VideoFileRef> videoRefs;
    if (document.videoFiles)
        videoRefs = *document.videoFiles;
    else if (document.videoPath)
        videoRefs.append(VideoFileRef{QUuid::createUuid(), *document.videoPath, document.videoBookmark});
    QList<VideoRestoreTask::Reference> foundVideos;
    QStringList missingVideos;
    const QUuid generation = engine.importGeneration();
    m_keptFiles.start(generation, document);
    for (const VideoFileRef &ref : videoRefs) {
        const auto url = resolveFileReference(ref.bookmark, ref.path, false);
        if (url && files.isFile(url->toLocalFile())) {
            foundVideos.append({ref.id, *url});
            continue;
        }
        missingVideos.append(ref.path);
        m_keptFiles.clip(generation, ref, KeptFiles::notFound(url));
    }
    if (!missingVideos.isEmpty())
        log.add(LogEntry::Level::warning, QStringLiteral("Video file missing"),
                missingVideos.join(QLatin1Char('\n')));

    // The restore runs once this apply has returned, and only while it is the latest.
    auto *task = new VideoRestoreTask(foundVideos, generation, document.videoSegments,
                                      document.playheadTime, this);
    task->savedFiles = videoRefs;
    m_videoImportTask = task;
    m_restoringPlayhead = document.playheadTime;
    m_stage.setRestoring(task);
    QTimer::singleShot(0, task, [this, task] { continueVideoRestore(task); });
    emit videoRestoreStarted(task);

    // Track files, imported one after the other.
    QHash<QString, QUuid> trackIDs;
    QStringList missingTracks;
    for (const GPXFileRef &ref : document.gpxFiles) {
        const auto url = resolveFileReference(ref.bookmark, ref.path, true);
        const TrackResult<GPXTrack> *read = url ? files.track(url->toLocalFile()) : nullptr;
        if (!url || !files.isFile(url->toLocalFile()) || !read) {
            missingTracks.append(ref.path);
            m_keptFiles.track(generation, ref, KeptFiles::notFound(url));
            continue;
        }
        if (!*read) {
            m_keptFiles.track(generation, ref, KeptFiles::outcomeOf(read->error()));
            // The first line becomes the alert: it names the file; the log also gets the path.
            const QString path = url->toLocalFile();
            presentError(tr("The track \"%1\" could not be loaded: %2")
                             .arg(QFileInfo(path).fileName(), read->error().message())
                         + QLatin1Char('\n') + path);
            continue;
        }
        // A file named twice is two tracks, as two imports of it would be.
        GPXTrack track = read->value();
        track.id = QUuid::createUuid();
        track.revision = QUuid::createUuid();
        w.gpxService().addTrack(track);
        trackIDs.insert(ref.trackID, track.id);
        m_keptFiles.trackRead(ref.trackID);
    }
    if (!missingTracks.isEmpty()) {
        log.add(LogEntry::Level::warning, QStringLiteral("GPX files missing"),
                QStringLiteral("These GPX files referenced by the project no longer exist; related timeline "
                               "segments were skipped:\n")
                    + missingTracks.join(QLatin1Char('\n')));
    }
    if (!missingVideos.isEmpty() || !missingTracks.isEmpty())
        presentError(missingFilesSummary(missingVideos, missingTracks));

    QList<GPXSegment> segments;
    const QList<GPXTrack> tracks = w.gpxService().tracks();
    for (const SegmentData &saved : document.segments) {
        const auto mapped = trackIDs.constFind(saved.trackID);
        if (mapped == trackIDs.constEnd())
            continue;
        const auto track = std::find_if(tracks.begin(), tracks.end(),
                                        [&](const GPXTrack &t) { return t.id == *mapped; });
        if (track == tracks.end())
            continue;
        if (!(saved.gpxEnd > saved.gpxStart
              && saved.gpxEnd <= track->duration + ProjectDocument::segmentEndTolerance))
            continue;
        GPXSegment segment;
        segment.id = StrictJsonReader::isUuidText(saved.id) ? QUuid::fromString(saved.id) : QUuid::createUuid();
        segment.trackID = *mapped;
        segment.gpxStart = saved.gpxStart;
        segment.gpxEnd = saved.gpxEnd;
        segment.offset = saved.offset;
        segments.append(segment);
    }
    engine.setSegments(segments);

    // Widgets. Each settings object stores what it is given.
    WidgetPositions positions = w.widgetPositions();
    const MapData &mapData = document.map;
    const MapProvider provider = enumOrDefault(std::optional(mapData.provider), MapProvider::openStreetMap);
    w.setMapProvider(provider);
    // The canonical text, so that the setting always reads back as a provider.
    settingsstore::writeEnum(QStringLiteral("mapProvider"), provider);
    MapSettings &map = w.mapSettings();
    map.setEnabled(mapData.enabled.value_or(true));
    map.setShape(MapShape::circle);
    map.setBorderStyle(enumOrDefault(mapData.borderStyle, MapBorderStyle::defaultStyle));
    map.setWidth(settingsstore::boundedWidgetSize(mapData.width));
    map.setHeight(settingsstore::boundedWidgetSize(mapData.height));
    map.setCornerRadius(mapData.cornerRadius);
    map.setOpacity(mapData.opacity);
    map.setOrientation(enumOrDefault(std::optional(mapData.orientation), MapOrientation::north));
    map.setZoomLevel(int(std::clamp<qint64>(mapData.zoomLevel, 1, 22)));
    positions.map = pointOf(mapData.positionX, mapData.positionY);

    const TimeWidgetData &timeData = document.timeWidget;
    TimeWidgetSettings &time = w.timeSettings();
    time.setEnabled(timeData.enabled);
    time.setFontSize(timeData.fontSize);
    time.setOpacity(timeData.opacity);
    time.setTextColor(WidgetTextColor::white);
    positions.time = pointOf(timeData.positionX, timeData.positionY);

    const SpeedWidgetData &speedData = document.speedWidget;
    SpeedWidgetSettings &speed = w.speedSettings();
    speed.setEnabled(speedData.enabled);
    speed.setFontSize(speedData.fontSize);
    speed.setOpacity(speedData.opacity);
    speed.setTextColor(WidgetTextColor::white);
    speed.setUnit(enumOrDefault(std::optional(speedData.unit), SpeedUnit::kmh));
    positions.speed = pointOf(speedData.positionX, speedData.positionY);

    if (const auto &pathData = document.gpsPathWidget) {
        GPSPathWidgetSettings &path = w.gpsPathSettings();
        path.setEnabled(pathData->enabled);
        path.setWidth(settingsstore::boundedWidgetSize(pathData->width));
        path.setOpacity(pathData->opacity);
        path.setShowMap(pathData->showMap);
        path.setPadding(pathData->padding);
        path.setBorderStyle(enumOrDefault(pathData->borderStyle, MapBorderStyle::defaultStyle));
        positions.gpsPath = pointOf(pathData->positionX, pathData->positionY);
    }
    if (const auto &graphData = document.heartRateGraphWidget) {
        HeartRateGraphWidgetSettings &graph = w.heartRateGraphSettings();
        graph.setEnabled(graphData->enabled);
        graph.setWidth(graphData->width);
        graph.setHeight(graphData->height);
        graph.setOpacity(graphData->opacity);
        graph.setLineColor(WidgetTextColor::white);
        positions.heartRateGraph = pointOf(graphData->positionX, graphData->positionY);
    }
    if (const auto &heartData = document.heartRateWidget) {
        HeartRateWidgetSettings &heartRate = w.heartRateSettings();
        heartRate.setEnabled(heartData->enabled);
        heartRate.setFontSize(heartData->fontSize);
        heartRate.setOpacity(heartData->opacity);
        heartRate.setTextColor(WidgetTextColor::white);
        heartRate.setShowIcon(heartData->showIcon.value_or(true));
        heartRate.setShowMinMax(heartData->showMinMax.value_or(false));
        positions.heartRate = pointOf(heartData->positionX, heartData->positionY);
    }
    w.setWidgetPositions(positions);

    ExportPreset preset = enumFromText<ExportPreset>(document.exportPreset).value_or(ExportPreset::original);
    const double factor = document.exportCompressionFactor.value_or(1.0);
    w.setExportCompressionFactor(std::isfinite(factor) ? std::min(std::max(factor, 0.6), 1.0) : 1.0);
    if (mode == CompositionMode::overlay) {
        if (!overlayPresets().contains(preset))
            preset = ExportPreset::p1080;
        w.setSelectedPreset(preset);
        rebuildPlayer();
        w.player().scrub(document.playheadTime);
    } else {
        w.setSelectedPreset(preset);
    }

    engine.undoStack()->clear();
    restoreWidgetPositions(resolveLayoutSize());
}

} // namespace routereel
