#pragma once

#include <QUuid>

namespace routereel {

// Where a video segment being dragged would land if dropped now. While it is
// set, the whole panel (content end, ruler, origin) treats the segment as there.
struct VideoDragPreview {
    QUuid id;
    double offset = 0;
    bool operator==(const VideoDragPreview &) const = default;
};

} // namespace routereel
