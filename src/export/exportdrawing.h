#pragma once

#include "exporttask.h"
#include "overlayframecomposition.h"
#include "pipeframe.h"

#include "maps/gpspathrenderer.h"
#include "widgets/heartrategraphrenderer.h"

#include <memory>

namespace routereel {

class TileMapRenderer;

// What every frame of an export is drawn with, made once: the widgets' rings,
// badges and renderers, the composer that draws them, and what each frame's
// parameters are computed from.
class ExportDrawing {
public:
    // `pathPoints`: the effective points the GPS path shows.
    ExportDrawing(const ExportTask &task, const PipeFrame &pipe, const TimelineEngine &engine, double start,
                  TileMapRenderer &mapRenderer, const QList<TrackPoint> &pathPoints);

    ExportDrawing(const ExportDrawing &) = delete;
    ExportDrawing &operator=(const ExportDrawing &) = delete;

    const OverlayFrameComposer &composer() const { return m_composer; }
    const FrameParamsContext &context() const { return m_context; }
    // None while the GPS path widget is off; its still part is drawn once the frames are near.
    GPSPathRenderer *pathRenderer() const { return m_pathRenderer.get(); }
    // Everything a frame can draw, its texts at their widest.
    QRegion reach(double textScale) const;

private:
    ExportDrawing(const ExportTask &task, const PipeFrame &pipe, const TimelineEngine &engine, double start,
                  TileMapRenderer &mapRenderer, const QList<TrackPoint> &pathPoints,
                  const QList<GPXTrack> &effectiveTracks);

    std::unique_ptr<GPSPathRenderer> m_pathRenderer;
    std::unique_ptr<HeartRateGraphRenderer> m_graphRenderer;
    OverlayFrameComposer m_composer;
    FrameParamsContext m_context;
};

} // namespace routereel
