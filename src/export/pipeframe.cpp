#include "pipeframe.h"

#include "exporttask.h"

#include <algorithm>
#include <cmath>

namespace routereel {

PipeFrame PipeFrame::forTask(const ExportTask &task)
{
    PipeFrame frame;
    const double scale = task.mapSize.width() / std::max(1.0, task.mapReferenceSize.width());
    const double thickness = task.mapEnabled ? borderTotalWidth(task.mapBorderStyle) * scale : 0;
    // The GTA north badge sits on the ring and reaches past it.
    const double factor = task.mapBorderStyle == MapBorderStyle::gta ? 1.5 : 1.0;
    frame.inset = static_cast<int>(std::ceil(thickness * factor));

    const bool otherWidgets = task.timeWidget.enabled || task.speedWidget.enabled || task.heartRateWidget.enabled
        || task.gpsPathWidget.enabled || task.heartRateGraphWidget.enabled;
    frame.compact = task.compositionMode != CompositionMode::overlay && !otherWidgets && task.mapEnabled;
    if (frame.compact) {
        frame.width = static_cast<int>(task.mapSize.width()) + 2 * frame.inset;
        frame.height = static_cast<int>(task.mapSize.height()) + 2 * frame.inset;
        frame.x = std::max(0, task.overlayX - frame.inset);
        frame.y = std::max(0, task.overlayY - frame.inset);
    } else {
        frame.width = static_cast<int>(task.videoResolution.width());
        frame.height = static_cast<int>(task.videoResolution.height());
    }
    // Measured from the frame's own corner, so the map lands at overlayX:overlayY
    // on the canvas even where the frame could not start a full inset before it.
    frame.mapOrigin = QPoint(task.overlayX - frame.x, task.overlayY - frame.y);
    return frame;
}

PipeFrame PipeFrame::withTiles(const PipeFrame &frame, const QList<QRect> &parts)
{
    const QRect canvas(0, 0, frame.width, frame.height);
    // ffmpeg's overlay blends a row in vector blocks and the rest pixel by pixel:
    // columns on a grid of 32 keep each pixel in the kind of block it has in the whole frame.
    QList<QRect> aligned;
    for (const QRect &part : parts) {
        const int x0 = part.left() & ~31;
        const int x1 = std::min(frame.width, (part.right() + 1 + 31) & ~31);
        aligned.append(QRect(QPoint(x0, part.top()), QPoint(x1 - 1, part.bottom())));
    }
    mergeMeetingBoxes(aligned);
    qsizetype area = 0;
    int widest = 0;
    for (const QRect &part : aligned) {
        // Chroma is halved both ways: odd corners or sides would not line up with the canvas's.
        if (part.isEmpty() || !canvas.contains(part) || part.x() % 2 || part.y() % 2 || part.width() % 2
            || part.height() % 2)
            return frame;
        area += qsizetype(part.width()) * part.height();
        widest = std::max(widest, part.width());
    }
    if (frame.compact || parts.isEmpty() || 2 * area > qsizetype(frame.width) * frame.height)
        return frame;

    // Shelves, tallest parts first, about as wide as the packed frame is high.
    QList<QRect> order = aligned;
    std::stable_sort(order.begin(), order.end(), [](const QRect &a, const QRect &b) { return a.height() > b.height(); });
    const int shelfWidth = std::max(widest, (int(std::ceil(std::sqrt(double(area)))) + 15) & ~15);
    PipeFrame tiled = frame;
    int x = 0;
    int y = 0;
    int shelfHeight = 0;
    int packedWidth = 0;
    for (const QRect &part : order) {
        if (x > 0 && x + part.width() > shelfWidth) {
            y += shelfHeight;
            x = 0;
            shelfHeight = 0;
        }
        tiled.tiles.append({part, QPoint(x, y)});
        x += part.width();
        packedWidth = std::max(packedWidth, x);
        shelfHeight = std::max(shelfHeight, part.height());
    }
    tiled.packedSize = QSize(packedWidth, y + shelfHeight);
    return tiled;
}

void mergeMeetingBoxes(QList<QRect> &boxes)
{
    for (bool merged = true; merged;) {
        merged = false;
        for (qsizetype i = 0; i < boxes.size() && !merged; ++i) {
            for (qsizetype j = i + 1; j < boxes.size(); ++j) {
                if (boxes[i].intersects(boxes[j])) {
                    boxes[i] = boxes[i].united(boxes[j]);
                    boxes.removeAt(j);
                    merged = true;
                    break;
                }
            }
        }
    }
}

} // namespace routereel
