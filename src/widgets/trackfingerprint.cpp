#include "trackfingerprint.h"

namespace routereel {

QList<TrackFingerprint> trackFingerprints(const QList<GPXTrack> &tracks)
{
    QList<TrackFingerprint> out;
    out.reserve(tracks.size());
    for (const GPXTrack &track : tracks)
        out.append({track.revision, track.trackPoints.size()});
    return out;
}

} // namespace routereel
