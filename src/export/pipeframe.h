#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace routereel {

struct ExportTask;

// A part of the canvas sent on its own: where it stands on the canvas and in the packed frame.
struct PipeTile {
    QRect canvas;
    QPoint packed;
    bool operator==(const PipeTile &) const = default;
};

// The raw BGRA frame written to ffmpeg for every video frame, and where it
// stands on the canvas. When only the map is shown the frame is just the map
// with its border ring (compact); otherwise it is the whole canvas.
struct PipeFrame {
    int width = 0;
    int height = 0;
    int x = 0;  // top-left corner on the canvas
    int y = 0;
    QPoint mapOrigin;  // the map widget's top-left corner inside the frame
    int inset = 0;     // room around the map for its border ring
    bool compact = false;

    // Over source video the whole frame is mostly transparent: only the parts
    // that widgets can draw in (`tiles`) go to ffmpeg, packed side by side
    // into a frame of `packedSize`, and ffmpeg lays each one at its place.
    QList<PipeTile> tiles;
    QSize packedSize;

    qsizetype byteCount() const { return qsizetype(width) * height * 4; }
    bool tiled() const { return !tiles.isEmpty(); }
    // What one frame on the pipe measures.
    QSize sentSize() const { return tiled() ? packedSize : QSize(width, height); }

    static PipeFrame forTask(const ExportTask &task);
    // The full frame of `task` sending only `parts` (disjoint, with even corners
    // and sides), when that is smaller; otherwise the frame unchanged.
    static PipeFrame withTiles(const PipeFrame &frame, const QList<QRect> &parts);

    bool operator==(const PipeFrame &) const = default;
};

// Merges boxes that meet into their bounding box, until none meet.
void mergeMeetingBoxes(QList<QRect> &boxes);

} // namespace routereel
