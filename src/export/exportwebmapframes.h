#pragma once

#include "exportframeproducer.h"
#include "overlayframecomposition.h"

#include "maps/osmwebmapexportrenderer.h"

#include <mutex>
#include <optional>

namespace routereel {

class WebMapCapturePool;

// Web-map frames are slow to capture: they are taken ahead, in order, on
// threads of their own, one per map page; page k takes frames k, k + pages, ...
class ExportWebMapFrames {
public:
    struct Frame {
        FrameParams params;
        OSMWebMapExportRenderer::ExportFrame map;
    };
    using IsCancelled = std::function<bool()>;

    // Frames 0 ..< `frames`, at most `capacity` ahead of the taker on each page.
    ExportWebMapFrames(const WebMapCapturePool &pages, const FrameParamsContext &context, int zoom, int frames,
                       int capacity, IsCancelled isCancelled);

    // The next frame in order; none once stopped or cancelled.
    std::optional<Frame> take() { return m_producer.take(); }
    void stop() { m_producer.stop(); }

private:
    Frame capture(int index, const std::function<bool()> &shouldStop);

    const WebMapCapturePool &m_pages;
    const FrameParamsContext &m_context;
    const int m_zoom;
    std::mutex m_engineLock;  // the engine answers one thread at a time
    ExportFrameProducer<Frame> m_producer;
};

} // namespace routereel
