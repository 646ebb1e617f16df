#pragma once

#include "timeline/compositionmode.h"
#include "widgetexportconfig.h"

#include "timeline/videotimelinesnapshot.h"
#include "tracks/gpxsegment.h"
#include "tracks/gpxtrack.h"
#include "widgets/mapenums.h"

#include <QDateTime>
#include <QSizeF>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace routereel {

// Everything one export needs, taken when the user starts it; the exporter
// reads nothing of the live state. Sizes and positions are in video pixels.
// A copy is the same task (same id); every newly made task gets a new id.
struct ExportTask {
    QUuid id = QUuid::createUuid();
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    CompositionMode compositionMode = CompositionMode::regular;
    QUrl videoURL;  // empty when no video is loaded
    std::optional<VideoTimelineSnapshot> videoTimeline;
    QUrl outputURL;
    QList<GPXTrack> tracks;
    QList<GPXSegment> segments;
    double videoDuration = 0;
    QSizeF videoResolution{1920, 1080};  // the canvas, before outputScale
    double videoFPS = 0;                 // 0: 30 frames per second
    double videoBitRate = 0;
    QSizeF mapSize;
    QSizeF mapReferenceSize;
    MapShape mapShape = MapShape::circle;
    MapBorderStyle mapBorderStyle = MapBorderStyle::defaultStyle;
    double cornerRadius = 0;
    int overlayX = 0;  // top-left corner of the map widget
    int overlayY = 0;
    MapProvider mapProvider = MapProvider::openStreetMap;
    QString mapboxToken;
    MapOrientation orientation = MapOrientation::north;
    int zoomLevel = 15;
    double overlayOpacity = 1;
    TextWidgetExportConfig timeWidget;
    TextWidgetExportConfig speedWidget;
    double outputScale = 1;
    double compressionFactor = 1;
    double previewToVideoScale = 1;  // video pixels per reference-canvas unit
    QString mapLanguage;
    bool mapEnabled = false;
    GPSPathWidgetExportConfig gpsPathWidget;
    TextWidgetExportConfig heartRateWidget;
    HeartRateGraphWidgetExportConfig heartRateGraphWidget;
    // Further files the output must never replace, set by whoever builds the
    // task: every clip on the timeline (an overlay export reads none of them),
    // the open project file and the last-session file.
    QStringList protectedFiles;

    // The video file name in regular mode, "Overlay" in overlay mode.
    QString title() const;

    // The frame rate of the export: videoFPS, or 30 when it is not above 0.
    double frameRate() const;

    // Files the output must never replace, whatever the mode: every source clip
    // of the timeline, the loaded video, every track file and protectedFiles.
    QStringList protectedFilePaths() const;
};

} // namespace routereel
