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

} // namespace routereel
