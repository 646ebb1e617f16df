#include "exportwebmapframes.h"

#include "maps/webmapcapturepool.h"

namespace routereel {

ExportWebMapFrames::ExportWebMapFrames(const WebMapCapturePool &pages, const FrameParamsContext &context, int zoom,
                                       int frames, int capacity, IsCancelled isCancelled)
    : m_pages(pages), m_context(context), m_zoom(zoom),
      m_producer(
          frames, capacity, std::move(isCancelled),
          [this](int index, const auto &shouldStop) { return capture(index, shouldStop); }, pages.size())
{
}

ExportWebMapFrames::Frame ExportWebMapFrames::capture(int index, const std::function<bool()> &shouldStop)
{
    Frame frame;
    {
        std::lock_guard lock(m_engineLock);
        frame.params = computeFrameParams(index, m_context);
    }
    const FrameParams &p = frame.params;
    std::optional<OSMWebMapExportRenderer::FramePosition> position;
    if (p.hasPosition)
        position = OSMWebMapExportRenderer::FramePosition{p.flattenedIndex, p.dotLng,       p.dotLat,
                                                          p.mapCenterLng,   p.mapCenterLat, p.bearing};
    frame.map = m_pages.page(index % m_pages.size()).exportFrame(position, m_zoom, shouldStop);
    return frame;
}

} // namespace routereel
