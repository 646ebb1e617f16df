#include "exportmapwarmup.h"

#include "maps/gpspathprojection.h"
#include "maps/gpspathrenderer.h"
#include "maps/tilecache.h"
#include "tracks/maptrackdata.h"

#include <QDebug>
#include <QThread>

#include <cmath>

namespace routereel {

namespace {

// Where the map of each exported frame is centred: the tiles around these are
// all that the frames can show. At most a million of them, evenly spread: a
// tile the preload misses is still fetched when its frame is drawn.
QList<trackinterpolation::LatLng> mapCentres(const TimelineEngine &engine, const QList<GPXTrack> &tracks,
                                             double start, double fps, long long frames)
{
    constexpr long long maximumCentres = 1'000'000;
    const double step = double(std::max(frames, maximumCentres)) / double(maximumCentres);
    QList<trackinterpolation::LatLng> centres;
    std::optional<trackinterpolation::LatLng> previous;
    for (double i = 0; i < double(frames); i += step) {
        const auto c = engine.coordinate(tracks, start + std::floor(i) / fps);
        if (c && c != previous)
            centres.append(*c);
        previous = c;
    }
    return centres;
}

} // namespace

ExportMapWarmUp::ExportMapWarmUp(const ExportTask &task, TileCache &cache, QPointer<OSMWebMapExportRenderer> &mapWeb,
                                 IsCancelled isCancelled)
    : m_task(task), m_cache(cache), m_mapWeb(mapWeb), m_isCancelled(std::move(isCancelled)),
      m_renderer(task.mapReferenceSize, task.mapShape, task.mapProvider, task.mapboxToken, task.zoomLevel,
                 task.mapLanguage, task.mapSize, task.cornerRadius, cache),
      m_pages(mapWeb.data())
{
}

ExportMapWarmUp::~ExportMapWarmUp()
{
    m_abandon = true;
    if (m_pagesThread.joinable())
        m_pagesThread.join();
    if (m_probe.joinable())
        m_probe.join();
}

void ExportMapWarmUp::start(const TimelineEngine &engine, double start, double fps, long long frames,
                            const Progress &progress)
{
    if (!m_task.mapEnabled)
        return;
    m_frameCentres = mapCentres(engine, m_task.tracks, start, fps, frames);
    if (!m_mapWeb)
        return;
    qInfo().noquote() << "[VideoExporter] OSM web map warmup start";
    QList<TrackPoint> centres;
    for (const trackinterpolation::LatLng &c : m_frameCentres) {
        TrackPoint p;
        p.lat = c.lat;
        p.lng = c.lng;
        centres.append(p);
    }
    m_pagesThread = std::thread([this, centres, progress] {
        const MapTrackData data = MapTrackData::build(m_task.tracks);
        const auto warmUpProgress = [progress](double p) { progress(p * 0.05); };
        const bool turns = m_task.orientation == MapOrientation::follow;
        m_webPrepared = m_pages.prepareForFrames(data.points, data.breaks, m_task.zoomLevel,
                                                 OSMWebMapExportRenderer::defaultReadyTimeout, warmUpProgress,
                                                 [this] { return abandoned(); }, centres, turns,
                                                 WebMapCapturePool::pageCount(turns, QThread::idealThreadCount()));
    });
    // It waits no longer than the page: both are decided by the same moment.
    if (!m_frameCentres.isEmpty())
        m_probe = std::thread([this, first = m_frameCentres.first(), by = m_mapWeb->loadDeadline()] {
            m_renderer.probe(first, [this] { return abandoned(); }, by);
        });
}

void ExportMapWarmUp::probePathTiles(const TimelineEngine::EffectiveTrackPoints &effective,
                                     std::chrono::steady_clock::time_point by)
{
    if (m_probe.joinable())
        return;
    m_probe = std::thread([this, effective, by] {
        const GPSPathWidgetExportConfig &config = m_task.gpsPathWidget;
        const auto projection = GPSPathProjection::make(effective.points, effective.breaks, config.padding,
                                                        config.pixelSize);
        GPSPathRenderer::probeTileService(projection, m_task.mapProvider, m_task.mapboxToken, m_task.mapLanguage,
                                          m_cache, [this] { return abandoned(); }, by);
    });
}

void ExportMapWarmUp::finish()
{
    if (m_pagesThread.joinable()) {
        m_pagesThread.join();
        if (m_webPrepared) {
            qInfo().noquote().nospace() << "[VideoExporter] OSM web map warmup done, cancelled="
                                        << (m_isCancelled() ? "true" : "false");
        } else {
            m_mapWeb.clear();  // already shut down by the failed preparation
            qInfo().noquote() << "[VideoExporter] OSM web renderer unavailable, falling back to raster tiles";
        }
    }
    preloadRasterTiles();
}

void ExportMapWarmUp::preloadRasterTiles()
{
    if (!m_task.mapEnabled) {
        qInfo().noquote() << "[VideoExporter] Map widget disabled, skipping tile preload";
        return;
    }
    if (m_mapWeb || m_isCancelled())
        return;
    qInfo().noquote() << "[VideoExporter] preload tiles start," << m_task.tracks.size() << "tracks";
    m_renderer.preloadAround(m_frameCentres, m_isCancelled);
    qInfo().noquote().nospace() << "[VideoExporter] preload done, cancelled=" << (m_isCancelled() ? "true" : "false");
}

} // namespace routereel
