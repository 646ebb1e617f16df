#pragma once
// A long ride for the preview benchmarks: one fix a second with a heart rate,
// as a day's (or several days') logger writes it.

#include "tracks/gpxtrack.h"

#include <QString>

namespace routereel::bench {

// `points` fixes one second apart (200,000 make 55 hours), wandering at about
// 8 m/s, a new track segment every 25,000 points; checked and smoothed as an
// imported track is. An empty track when the points are refused.
GPXTrack generatedRide(int points);

// The same ride as a GPX file at `path`; false when it cannot be written.
bool writeGeneratedRide(const QString &path, int points);

// `--track FILE` (loaded as the app loads it) or `--track-points N` (generated)
// at args[k]; advances k past its value. False when args[k] is neither.
bool takeTrackOption(const QStringList &args, qsizetype &k, GPXTrack &track, QString &error);

} // namespace routereel::bench
