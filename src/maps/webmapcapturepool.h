#pragma once

#include "maps/osmwebmapexportrenderer.h"

#include <QPointer>

#include <memory>
#include <vector>

namespace routereel {

// The pages an export's map is captured with. A turning map is captured at
// nearly every frame, and one page draws and reads back one picture at a
// time: several pages, each in a renderer process of its own, take different
// frames at once. The first page is the exporter's; the others are made here,
// on the main thread, and shut down there when the pool goes.
class WebMapCapturePool {
public:
    explicit WebMapCapturePool(OSMWebMapExportRenderer *first);
    ~WebMapCapturePool();

    WebMapCapturePool(const WebMapCapturePool &) = delete;
    WebMapCapturePool &operator=(const WebMapCapturePool &) = delete;

    // The pages a map is captured with: one for a North-up map, whose captures
    // are few; two for a turning one on four processors or more. Every page's
    // WebGL runs on this process's one GPU thread: measured, a second page took
    // captures 1.1-1.3 times as fast, a third and fourth no faster, and each
    // page costs about 45 MB in the web engine and 55 MB here.
    static int pageCount(bool turns, int processors);
    // Benchmarks compare page counts in one process: a count for turning maps, or none for the rule above.
    static void overridePageCountForBenchmarks(std::optional<int> pages);

    // Background thread. Adds pages up to `pages` and prepares them all at once
    // as OSMWebMapExportRenderer::prepareForFrames does. False when the first
    // page failed (draw raster tiles; every page is then shut down); another
    // page that fails is only left out.
    bool prepareForFrames(const QList<TrackPoint> &points, const QList<int> &breaks, int zoom,
                          std::chrono::milliseconds readyTimeout, const std::function<void(double)> &progress,
                          const OSMWebMapExportRenderer::IsCancelled &isCancelled,
                          const std::optional<QList<TrackPoint>> &viewCentres, bool turns, int pages);

    // The prepared pages, the first page first.
    int size() const { return int(m_ready.size()); }
    OSMWebMapExportRenderer &page(int k) const { return *m_ready.at(std::size_t(k)); }

    OSMWebMapExportRenderer::CaptureStats captureStats() const;

private:
    // Made on the main thread; none when the export is cancelled before it gets to it.
    std::vector<OSMWebMapExportRenderer *> makePages(int count,
                                                     const OSMWebMapExportRenderer::IsCancelled &isCancelled);

    QPointer<OSMWebMapExportRenderer> m_first;
    std::vector<OSMWebMapExportRenderer *> m_own;    // made here, freed on the main thread
    std::vector<OSMWebMapExportRenderer *> m_ready;  // prepared, in capture order
};

} // namespace routereel
