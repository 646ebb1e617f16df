#pragma once

#include "gpspathprojection.h"
#include "widgets/mapenums.h"

#include <QPainterPath>
#include <QUuid>

#include <optional>

namespace routereel {

// A one-entry memo of the projected GPS path, so the preview projects a track
// once per change of data, size, padding or provider rather than every frame.
// The key samples only the first and last point and the count: the caller's
// revision must change whenever the points do.
class GPSPathProjectionCache {
public:
    struct Fingerprint {
        double lat = 0;
        double lng = 0;
        bool operator==(const Fingerprint &) const = default;
    };
    struct Key {
        QUuid revision;
        QList<Fingerprint> fingerprints;
        QList<int> breaks;
        double size = 0;
        MapProvider provider = MapProvider::openStreetMap;
        std::optional<double> padding;
        bool operator==(const Key &) const = default;
    };
    struct Result {
        GPSPathProjection projection;
        QPainterPath path;
    };

    static Result path(const QUuid &revision, const QList<TrackPoint> &points, const QList<int> &breaks,
                       MapProvider provider, std::optional<double> padding, double size);

    // Subpaths start at point 0 and at every break.
    static QPainterPath pathOf(const GPSPathProjection &projection);

    // How many projections the memo has built; lets tests see a reuse.
    static int buildCount();
};

} // namespace routereel
