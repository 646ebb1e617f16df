#pragma once

#include <QUuid>

namespace routereel {

// A reference to one point of one track; resolved by the track store.
struct TrackPosition {
    QUuid trackID;
    int index = 0;

    bool operator==(const TrackPosition &) const = default;
};

} // namespace routereel
