#pragma once

#include <QList>
#include <QUuid>

#include <optional>

namespace routereel {

// An absolute point in time: seconds since 1970-01-01T00:00:00Z.
using Instant = double;

// A fresh random (version 4) UUID for a track point. Tracks hold hundreds of thousands of points
// and every load and smoothing pass renews their ids: this draws from a securely seeded
// per-thread generator instead of asking the system for entropy each time.
QUuid newTrackPointId();

// One fix of a track. Equality ignores `id`: two fixes with the same data are the same fix.
struct TrackPoint {
    QUuid id = newTrackPointId();
    double lat = 0;
    double lng = 0;
    std::optional<double> ele;
    Instant time = 0;
    std::optional<int> heartRate;
    bool startsSegment = false;

    bool operator==(const TrackPoint &other) const;

    // Moving average over `window` points that never crosses a polyline start.
    static QList<TrackPoint> smoothed(const QList<TrackPoint> &points, int window);
};

// Great-circle distance in metres; elevation and time are ignored.
double haversineDistance(const TrackPoint &a, const TrackPoint &b);

// Wraps a longitude into [-180, 180).
double wrapLongitude(double lng);

} // namespace routereel
