#include "maptrackdata.h"

namespace routereel {

MapTrackData MapTrackData::build(const QList<GPXTrack> &tracks)
{
    MapTrackData data;
    qsizetype total = 0;
    for (const GPXTrack &t : tracks)
        total += t.trackPoints.size();
    data.points.reserve(total);

    for (const GPXTrack &t : tracks) {
        const int base = int(data.points.size());
        for (int i = 0; i < t.trackPoints.size(); ++i) {
            if (i == 0 || t.trackPoints[i].startsSegment)
                data.breaks.append(base + i);
        }
        data.points.append(t.trackPoints);
    }
    return data;
}

} // namespace routereel
