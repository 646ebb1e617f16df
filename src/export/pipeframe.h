#pragma once

#include <QPoint>

namespace routereel {

struct ExportTask;

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

    qsizetype byteCount() const { return qsizetype(width) * height * 4; }

    static PipeFrame forTask(const ExportTask &task);

    bool operator==(const PipeFrame &) const = default;
};

} // namespace routereel
