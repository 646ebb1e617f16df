// routereel-bench timeline-queries [QUERIES]: trackPosition + heading at random
// timeline times over 100,000 points in 50 segments, as preview and export ask them.
#include "benchcommand.h"

#include "timeline/timelineengine.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace routereel::bench {
namespace {

int run(const QStringList &args)
{
    const long long queries = args.isEmpty() ? 1'000'000 : args.first().toLongLong();
    if (queries <= 0) {
        std::fprintf(stderr, "timeline-queries: QUERIES must be a positive number\n");
        return 2;
    }

    constexpr int trackCount = 5;
    constexpr int pointsPerTrack = 20'000;  // 100,000 points in all, one fix per second
    constexpr int segmentsPerTrack = 10;    // 50 segments
    QList<GPXTrack> tracks;
    for (int t = 0; t < trackCount; ++t) {
        GPXTrack track;
        track.trackPoints.reserve(pointsPerTrack);
        for (int i = 0; i < pointsPerTrack; ++i) {
            TrackPoint p;
            p.time = 1'700'000'000.0 + i;
            p.lat = 47.0 + 0.0001 * i + 0.01 * t;
            p.lng = 8.0 + 0.0001 * std::sin(i * 0.01) + 0.01 * t;
            p.startsSegment = i > 0 && i % 5000 == 0;
            track.trackPoints.append(p);
        }
        track.duration = pointsPerTrack - 1;
        tracks.append(track);
    }

    TimelineEngine engine;
    QList<GPXSegment> segments;
    double offset = 0;
    const double piece = double(pointsPerTrack - 1) / segmentsPerTrack;
    for (int t = 0; t < trackCount; ++t) {
        for (int s = 0; s < segmentsPerTrack; ++s) {
            GPXSegment seg;
            seg.trackID = tracks[t].id;
            seg.gpxStart = s * piece;
            seg.gpxEnd = (s + 1) * piece - 30;  // leaves a 30 s gap after each segment
            seg.offset = offset;
            offset += piece;
            segments.append(seg);
        }
    }
    engine.setSegments(segments);

    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> time(-10.0, offset + 10.0);
    QList<double> times(queries);
    for (double &t : times)
        t = time(random);

    double checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const double t : times) {
        if (const auto position = engine.trackPosition(tracks, t))
            checksum += position->index;
        if (const auto h = engine.heading(tracks, t))
            checksum += h->degrees;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    const double perQuery = elapsed.count() / double(queries) * 1e6;
    std::printf("timeline-queries: %d points, %lld segments, %lld queries\n", trackCount * pointsPerTrack,
                static_cast<long long>(segments.size()), queries);
    std::printf("trackPosition + heading: %.3f us per query (target < 2 us), total %.3f s, checksum %.1f\n",
                perQuery, elapsed.count(), checksum);
    return 0;
}

const bool registered = registerCommand("timeline-queries", "[QUERIES]", run);

} // namespace
} // namespace routereel::bench
