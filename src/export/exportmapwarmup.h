#pragma once

#include "exporttask.h"

#include "maps/osmwebmapexportrenderer.h"
#include "maps/tilemaprenderer.h"
#include "maps/webmapcapturepool.h"
#include "timeline/timelineengine.h"

#include <QPointer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace routereel {

class TileCache;

// The map's warm-up while ffmpeg starts: the web pages prepared for every
// frame's view on a thread of their own, and meanwhile one raster tile asked
// for, so that a page failing for want of a network has had the raster
// service's silence waited for already; then the raster tiles preloaded.
class ExportMapWarmUp {
public:
    using IsCancelled = std::function<bool()>;
    using Progress = std::function<void(double)>;

    // `mapWeb` is cleared when its pages cannot be prepared.
    ExportMapWarmUp(const ExportTask &task, TileCache &cache, QPointer<OSMWebMapExportRenderer> &mapWeb,
                    IsCancelled isCancelled);
    // Abandons the warm-up (an early return) and waits for its threads.
    ~ExportMapWarmUp();

    ExportMapWarmUp(const ExportMapWarmUp &) = delete;
    ExportMapWarmUp &operator=(const ExportMapWarmUp &) = delete;

    // For the `frames` frames from `start` on the timeline; `progress` hears the pages' warm-up.
    void start(const TimelineEngine &engine, double start, double fps, long long frames, const Progress &progress);
    // The path map's raster tiles are the fall-back of its page: the same service is
    // asked, by the page's deadline, unless the map's probe already asks it.
    void probePathTiles(const TimelineEngine::EffectiveTrackPoints &effective, std::chrono::steady_clock::time_point by);
    // Waits for the pages; without them the raster tiles are preloaded instead.
    void finish();

    TileMapRenderer &renderer() { return m_renderer; }
    const WebMapCapturePool &pages() const { return m_pages; }

private:
    bool abandoned() const { return m_abandon || m_isCancelled(); }
    void preloadRasterTiles();

    const ExportTask &m_task;
    TileCache &m_cache;
    QPointer<OSMWebMapExportRenderer> &m_mapWeb;
    IsCancelled m_isCancelled;
    TileMapRenderer m_renderer;
    WebMapCapturePool m_pages;
    QList<trackinterpolation::LatLng> m_frameCentres;  // what the page's or the tile cache is warmed with
    std::atomic<bool> m_abandon = false;
    bool m_webPrepared = false;
    std::thread m_pagesThread;
    std::thread m_probe;
};

} // namespace routereel
