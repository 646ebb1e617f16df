#pragma once

#include "tracks/gpxtrack.h"

#include <QList>
#include <QUuid>

namespace routereel {

// What the heart-rate memos remember of a track: its revision and point
// count. A changed track is expected to carry a new revision or another count.
struct TrackFingerprint {
    QUuid revision;
    qsizetype count = 0;

    bool operator==(const TrackFingerprint &) const = default;
};

// One fingerprint per track, in the order given.
QList<TrackFingerprint> trackFingerprints(const QList<GPXTrack> &tracks);

} // namespace routereel
