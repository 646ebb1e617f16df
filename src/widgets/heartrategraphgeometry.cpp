#include "heartrategraphgeometry.h"

#include <algorithm>

namespace routereel {

QPointF heartRateGraphPoint(const HeartRateGraphAxis &axis, double time, int heartRate, double width,
                            double height, double insetX, double insetY)
{
    const double timeRange = std::max(axis.maxTime - axis.minTime, 0.000001);
    const int bpmSpan = axis.maxBpm - axis.minBpm;
    const double bpmRange = bpmSpan < 2 ? 1 : bpmSpan;
    const double x = (time - axis.minTime) / timeRange * (width - 2 * insetX) + insetX;
    const double y = height - insetY - (heartRate - axis.minBpm) / bpmRange * (height - 2 * insetY);
    return {x, y};
}

QPainterPath heartRateGraphCurve(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis, double width,
                                 double height, double insetX, double insetY)
{
    QPainterPath path;
    for (const GPXTrack &track : tracks) {
        bool previousHadRate = false;
        for (const TrackPoint &point : track.trackPoints) {
            if (!point.heartRate) {
                previousHadRate = false;
                continue;
            }
            const QPointF p = heartRateGraphPoint(axis, point.time, *point.heartRate, width, height, insetX, insetY);
            if (previousHadRate && !point.startsSegment)
                path.lineTo(p);
            else
                path.moveTo(p);
            previousHadRate = true;
        }
    }
    return path;
}

} // namespace routereel
