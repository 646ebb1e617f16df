#pragma once

#include "exporterror.h"
#include "widgetexportconfig.h"

#include "timeline/playheadvalues.h"
#include "tracks/gpxtrack.h"
#include "tracks/trackposition.h"
#include "widgets/heartrateminmax.h"
#include "widgets/mapenums.h"
#include "widgets/widgetborderring.h"

#include <QHash>
#include <QImage>
#include <QRect>
#include <QRegion>

#include <functional>
#include <optional>

namespace routereel {

class GPSPathRenderer;
class HeartRateGraphRenderer;
class TileMapRenderer;
class TimelineEngine;

// What one export frame shows: the track under its time and the widget texts.
struct FrameParams {
    int index = 0;
    QList<TrackPoint> trackPoints;  // the track under the frame's time; empty when none
    int trackIndex = 0;
    int flattenedIndex = 0;  // the same point counted over all tracks laid end to end
    bool hasPosition = false;
    double dotLat = 0;
    double dotLng = 0;
    double mapCenterLat = 0;
    double mapCenterLng = 0;
    double bearing = 0;
    std::optional<QString> timeStr;
    std::optional<QString> speedStr;
    std::optional<QString> hrStr;
};

struct TextWidgetConfigs {
    TextWidgetExportConfig time;
    TextWidgetExportConfig speed;
    TextWidgetExportConfig heartRate;
};

// The per-export inputs of computeFrameParams; the engine answers from one thread at a time.
struct FrameParamsContext {
    bool needsTrackData = false;  // any widget enabled
    const TimelineEngine *engine = nullptr;
    QList<GPXTrack> tracks;
    double startTime = 0;
    double frameRate = 30;
    MapOrientation orientation = MapOrientation::north;
    TextWidgetConfigs texts;
    std::optional<HeartRateMinMax> heartRateMinMax;
};

FrameParams computeFrameParams(int index, const FrameParamsContext &context);

// "HH:mm:ss" of an instant in the local time zone.
QString timeOfDayText(Instant time);

// Text images by widget and text ("t_", "s_", "h_" + text), shared by all frames of an export.
using TextImageCache = QHash<QString, QImage>;

// Renders the texts of a batch that the cache lacks. Fails with the cancel
// error when the export is cancelled meanwhile; what was rendered stays.
std::optional<ExportError> prepareTextImages(TextImageCache &cache, const QList<FrameParams> &batch,
                                             const TextWidgetConfigs &texts, double textScale,
                                             const std::function<bool()> &isCancelled);

// The widest image each enabled text widget can show in this export, under
// "t_", "s_" and "h_": its text with the most characters over every track
// point (the widget font is monospaced, so that is also the widest).
TextImageCache widestTextImages(const FrameParamsContext &context, double textScale);

// Premultiplied BGRA to the straight alpha ffmpeg's overlay reads, in place.
void unpremultiplyRows(unsigned char *data, int bytesPerLine, const QRect &rect);

// Draws export frames into pre-allocated pixel buffers, one frame per call;
// calls for different buffers may run at once. Only what the previous frame of
// a buffer touched is cleared, and only what this frame touches is converted.
class OverlayFrameComposer {
public:
    struct MapGroup {
        bool enabled = false;
        TileMapRenderer *renderer = nullptr;
        QRect rect;  // in the frame, top-left origin
        double opacity = 1;
        MapShape shape = MapShape::circle;
        double cornerRadius = 0;
        std::optional<WidgetBorderRing> ring;
        std::optional<NorthBadge> badge;
        double borderWidth = 0;  // the ring's thickness in pixels
        MapOrientation orientation = MapOrientation::north;
    };
    struct GPSPathGroup {
        GPSPathRenderer *renderer = nullptr;
        GPSPathWidgetExportConfig config;
        QList<TrackPoint> points;  // the effective points the path shows
        std::optional<WidgetBorderRing> ring;
        std::optional<NorthBadge> badge;
        double borderWidth = 0;
    };
    struct GraphGroup {
        HeartRateGraphRenderer *renderer = nullptr;
        HeartRateGraphWidgetExportConfig config;
    };
    struct Setup {
        int width = 0;
        int height = 0;
        bool overlayMode = false;  // every frame starts opaque dark green and stays premultiplied
        MapGroup map;
        TextWidgetConfigs texts;
        GPSPathGroup gpsPath;
        GraphGroup graph;
    };
    struct Slot {
        unsigned char *data = nullptr;
        QRegion dirty;  // what the last frame drawn here touched
    };

    // The opaque background of overlay exports: red 0, green 100, blue 0.
    static constexpr quint32 overlayBackground = 0xFF006400;

    explicit OverlayFrameComposer(Setup setup);

    // Fills a new buffer with the frame's empty state.
    void initialise(Slot &slot) const;
    // `preparedMap` is the frame's map captured ahead (web maps); without it the
    // tile renderer draws the map.
    void draw(Slot &slot, const FrameParams &params, const std::optional<QImage> &preparedMap,
              bool usePreparedMaps, const TextImageCache &texts) const;

    const Setup &setup() const { return m_setup; }

    // Everything any frame can draw, on the canvas (top-left origin): the
    // widgets' fixed boxes with their rings and badges, and each text widget's
    // box for `widestTexts`, its widest images ("t_", "s_", "h_" as in the cache).
    QRegion reach(const TextImageCache &widestTexts) const;

private:
    void fillRect(unsigned char *data, const QRect &rect) const;

    Setup m_setup;
};

} // namespace routereel
