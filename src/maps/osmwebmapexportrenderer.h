#pragma once

#include "maps/webmappage.h"
#include "maps/webmaptrackoverlay.h"
#include "tracks/trackpoint.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace routereel {

// Map frames for an export, captured from an off-screen MapLibre page. Built,
// shut down and called into on the main thread; the capture operations are
// called from the export's background thread and block it (never the main
// thread) until the page has answered.
class OSMWebMapExportRenderer : public QObject {
    Q_OBJECT
public:
    using Kind = WebMapPageKind;
    using IsCancelled = std::function<bool()>;

    struct FrameKey {
        int idx = 0;
        double curLng = 0, curLat = 0, mapLng = 0, mapLat = 0, bearing = 0;
        int zoom = 0;
        bool operator==(const FrameKey &) const = default;
    };

    // The moment the export stops waiting for its map services, on both clocks:
    // the page's own load watch reads the wall clock.
    struct LoadDeadline {
        std::chrono::steady_clock::time_point at;
        qint64 msecsSinceEpoch = 0;
        static LoadDeadline after(std::chrono::milliseconds wait);
    };

    // Main thread. `factory` defaults to the one the UI registered; `initialView`:
    // where the page looks first (the first frame's map, with its margins);
    // `loadDeadline`: by when the page must have loaded its map, by default the
    // pages' load time-out from now (the export's start).
    OSMWebMapExportRenderer(Kind kind, const QString &language, const QSizeF &referenceSize, double pixelRatio,
                            WebMapPageFactory factory = {},
                            const std::optional<WebMapPageView> &initialView = std::nullopt,
                            const std::optional<LoadDeadline> &loadDeadline = std::nullopt);
    ~OSMWebMapExportRenderer() override;

    static QString mapWidgetPageHTML(double width, double height, double pixelRatio, bool preview);
    static QString gpsPathPageHTML(double width, double height, double pixelRatio, bool preview);

    // Main thread: another renderer drawing the same page, on a page of its own,
    // that has to be ready by the same deadline.
    std::unique_ptr<OSMWebMapExportRenderer> makeSibling() const;
    // When the export stops waiting for this page; other waits for the map
    // services (the raster service's first answer) end then too.
    std::chrono::steady_clock::time_point loadDeadline() const { return m_loadDeadline.at; }

    Kind kind() const { return m_kind; }
    QString handlerName() const;
    QSizeF expectedPixelSize() const { return m_expectedPixelSize; }
    bool isReady() const;

    // Main thread; idempotent.
    void shutdown();
    // Runs `body` now on the main thread, else queues it there.
    static void runOnMainThread(std::function<void()> body);

    // Background threads only.
    void warmUp(const QList<TrackPoint> &points, int zoom, const std::function<void(double)> &progress,
                const IsCancelled &isCancelled);
    std::optional<QImage> captureFrame(int idx, double curLng, double curLat, double mapLng, double mapLat,
                                       double bearing, int zoom, const IsCancelled &isCancelled);
    bool loadTrack(const QList<QPointF> &coords, const QList<int> &breaks, const IsCancelled &isCancelled);
    std::optional<QImage> captureStatic(const QString &featureCollection, double lng, double lat, double zoom,
                                        const IsCancelled &isCancelled);

    // One export frame's map. A frame outside the track (before its first point,
    // in a gap) has no position: it gets no map, without asking the page, and is
    // not a failure; only a positioned frame that could not be captured is.
    struct FramePosition {
        int idx = 0;
        double curLng = 0, curLat = 0, mapLng = 0, mapLat = 0, bearing = 0;
    };
    struct ExportFrame {
        enum class Status { captured, noPosition, failed };
        Status status = Status::failed;
        std::optional<QImage> image;
    };
    ExportFrame exportFrame(const std::optional<FramePosition> &position, int zoom, const IsCancelled &isCancelled);

    // Background threads: waits until the page is ready, says it cannot load
    // its map, `timeout` passes, the load deadline has passed (by a little, so
    // that the page's own word normally comes first) or the export is cancelled.
    bool waitUntilReady(std::chrono::milliseconds timeout, const IsCancelled &isCancelled) const;

    // The start of a web map for an export: waits for the page, gives it the
    // track (unless it draws the map alone, under the program's track) and warms
    // the tiles along the track, or only along `viewCentres` (the centres of
    // the exported frames' maps) when given. A North-up map (`turns` false) on a
    // page that draws the map alone needs no warm-up: its first capture is taken
    // instead, at the first centre, and every later one loads its own tiles.
    // False means "draw raster tiles instead"; the renderer has then been shut
    // down on the main thread.
    bool prepareForFrames(const QList<TrackPoint> &points, const QList<int> &breaks, int zoom,
                          std::chrono::milliseconds readyTimeout, const std::function<void(double)> &progress,
                          const IsCancelled &isCancelled,
                          const std::optional<QList<TrackPoint>> &viewCentres = std::nullopt, bool turns = true);
    bool didShutdown() const;

    // The warm-up stops: about half a view apart in Web Mercator pixels of a 512-px world.
    static QList<QPointF> warmUpStops(const QList<TrackPoint> &points, int zoom, const QSizeF &referenceSize);
    // A page's capture answer ("data:image/png;base64,...") as an image; none for "ERR:..." and junk.
    static std::optional<QImage> decodeCapture(const std::optional<QVariant> &result);
    // A page's raw read-back as an image of about `expected` pixels: RGBA rows,
    // bottom up and premultiplied, then the width and height as little-endian
    // 32-bit words. None for anything else (a page still waiting for tiles).
    static std::optional<QImage> decodePixels(const std::optional<QVariant> &result, const QSizeF &expected);
    // A capture is accepted when each side is within 2 px of the expected size.
    static bool sizeAccepted(const QSize &size, const QSizeF &expected);

    // A slow map is not captured every frame: a frame of the same track point and
    // zoom whose centre and position lie less than a quarter of a drawn pixel and
    // whose bearing less than a tenth of a degree from a capture's is that capture,
    // moved by the rest. The offset (drawn pixels) to move the capture by, or none.
    static std::optional<QPointF> reuseOffset(const FrameKey &captured, const FrameKey &wanted, double pixelRatio);
    // `image` moved by `offset` (drawn pixels, sub-pixel), edges repeated.
    static QImage shifted(const QImage &image, QPointF offset);
    // On by default; off, every frame of new parameters is captured as the page draws it.
    void setReusesCaptures(bool reuse) { m_reusesCaptures = reuse; }

    // Where a frame lies in a capture of the map alone (drawn pixels from the
    // capture's top-left corner to the frame's), or none when it does not lie
    // inside it. `margin`: the capture's extra CSS pixels on each side; `rasterOnly`:
    // the map is raster images, which MapLibre puts on whole CSS pixels of the view.
    struct BaseView {
        double mapLng = 0, mapLat = 0, bearing = 0;
        int zoom = 0;
        QSize margin;
    };
    // The margin (CSS px on each side) of a North-up capture: half a view, at
    // most 256 px, since a large map would draw four times its area.
    static QSize baseMargin(const QSizeF &referenceSize);
    static std::optional<QPointF> offsetInBase(const BaseView &base, const QSize &baseSize, const FrameKey &wanted,
                                               const QSizeF &referenceSize, double pixelRatio, bool rasterOnly);
    // The `size` part of `image` at `topLeft` (sub-pixel: bilinear), edges repeated.
    static QImage cropped(const QImage &image, QPointF topLeft, QSize size);

    static constexpr std::chrono::milliseconds defaultReadyTimeout{30000};

    // What the captures of this renderer cost, for benchmarks.
    struct CaptureStats {
        long long made = 0;    // frames the page drew and answered
        long long reused = 0;  // frames given an earlier capture
        double seconds = 0;    // waiting for the page's frame captures
    };
    CaptureStats captureStats() const;

private:
    std::optional<QImage> composedFrame(const FrameKey &key, const IsCancelled &isCancelled);
    // Asks the page once whether it can draw the map alone (and only raster images).
    bool askPage(const IsCancelled &isCancelled);
    bool takeBase(const BaseView &view, const IsCancelled &isCancelled);
    std::optional<QImage> captureBase(const BaseView &view, const IsCancelled &isCancelled);
    // A page capture of `expected` pixels in at most two attempts, counted in the stats.
    std::optional<QImage> capture(const QString &body, const WebMapPage::Arguments &args, double limitSeconds,
                                  const QSizeF &expected, const IsCancelled &isCancelled);
    void countReused();
    // `image` counted in the stats as a capture (when there is one) that took since `started`.
    std::optional<QImage> counted(std::optional<QImage> image, std::chrono::steady_clock::time_point started);
    void forgetCaptures();
    std::optional<QVariant> callPage(const QString &body, const WebMapPage::Arguments &args, double limitSeconds,
                                     const IsCancelled &stop);
    // Calls the page's `function` with the values of `args`, not awaited (see WebMapPage::evaluate).
    std::optional<QVariant> evaluateInPage(const QString &function, const WebMapPage::Arguments &args,
                                           double limitSeconds, const IsCancelled &stop);
    // Sends one request to the page on the main thread and waits for its answer.
    std::optional<QVariant> askOnMainThread(const std::function<void(WebMapPage &, WebMapPage::Done)> &send,
                                            double limitSeconds, const IsCancelled &stop);
    void assertBackground(const char *what) const;

    Kind m_kind;
    QString m_language;
    QSizeF m_referenceSize;
    QSizeF m_expectedPixelSize;
    double m_pixelRatio = 1;
    bool m_reusesCaptures = true;
    bool m_loggedSizeMismatch = false;
    WebMapPageFactory m_factory;
    std::optional<WebMapPageView> m_initialView;
    LoadDeadline m_loadDeadline;
    std::unique_ptr<WebMapPage> m_page;

    mutable std::mutex m_stateLock;
    mutable std::condition_variable m_readyChanged;
    bool m_isReady = false;
    mutable bool m_pageFailed = false;  // no style, or not loaded in time: never ready
    bool m_didShutdown = false;

    CaptureStats m_captureStats;  // under m_stateLock
    std::optional<FrameKey> m_lastKey;
    std::optional<QImage> m_lastImage;

    // The page draws the map alone and the program the track on top (pages that can).
    bool m_askedPage = false;
    bool m_drawsTrack = false;
    bool m_rasterOnly = false;
    WebMapTrackOverlay m_overlay;
    std::optional<BaseView> m_baseView;
    QImage m_base;
};

} // namespace routereel
