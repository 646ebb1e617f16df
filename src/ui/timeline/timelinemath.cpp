#include "timelinemath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace routereel {

namespace {

using namespace timelinemetrics;

// Whole units of a non-negative finite value, held at the largest 64-bit
// integer instead of overflowing.
std::int64_t wholeUnits(double value)
{
    constexpr double limit = 9.2e18;
    return value >= limit ? std::numeric_limits<std::int64_t>::max() : std::int64_t(std::floor(value));
}

QString twoDigits(std::int64_t value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

TickSteps tickSteps(double pps)
{
    struct Row {
        double above;
        TickSteps steps;
    };
    static constexpr Row ladder[] = {
        {100, {1, 0.25}}, {50, {5, 1}},    {20, {10, 2}},    {10, {30, 5}},
        {4, {60, 10}},    {2, {120, 30}},  {0.8, {300, 60}}, {0.3, {600, 120}},
    };
    for (const Row &row : ladder) {
        if (pps > row.above)
            return row.steps;
    }
    return {1800, 300};
}

double rulerLabelInterval(double labelStep, double minimumSeconds)
{
    if (!(labelStep < minimumSeconds) || !std::isfinite(minimumSeconds))
        return labelStep;
    static constexpr double round[] = {60,    120,   300,   600,    1800,   3600,   7200,    10800,   21600,
                                       43200, 86400, 172800, 604800, 1209600, 2419200, 4838400, 9676800};
    for (double d : round) {
        if (d >= minimumSeconds && std::fmod(d, labelStep) == 0)
            return d;
    }
    return labelStep * std::ceil(minimumSeconds / labelStep);
}

QList<double> timelineTickTimes(double origin, double end, double step, double from, double to)
{
    QList<double> ticks;
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(origin) || !std::isfinite(end))
        return ticks;
    double kFirst = std::floor(-origin / step);
    double kLast = std::ceil((end - origin) / step);
    if (!std::isnan(from))
        kFirst = std::max(kFirst, std::floor((from - origin) / step));
    if (!std::isnan(to))
        kLast = std::min(kLast, std::ceil((to - origin) / step));
    if (!std::isfinite(kFirst) || !std::isfinite(kLast) || kLast < kFirst)
        return ticks;
    for (double k = kFirst; k <= kLast; k += 1) {
        const double t = origin + k * step;
        if (t >= -0.000001)
            ticks.append(t);
    }
    return ticks;
}

QString formatTimecode(double seconds, bool compact)
{
    if (!std::isfinite(seconds))
        return compact ? QStringLiteral("00:00.00") : QStringLiteral("00:00:00.00");
    const std::int64_t n = wholeUnits(std::fabs(seconds) * 100);
    const std::int64_t s = n / 100;
    const std::int64_t hours = n / 360000;
    const QString rest = twoDigits((s % 3600) / 60) + QLatin1Char(':') + twoDigits(s % 60) + QLatin1Char('.')
                         + twoDigits(n % 100);
    const QString sign = seconds <= -0.01 ? QString(QChar(0x2212)) : QString();
    if (!compact)
        return sign + twoDigits(hours) + QLatin1Char(':') + rest;
    return n >= 360000 ? sign + QString::number(hours) + QLatin1Char(':') + rest : sign + rest;
}

QString formatLaneDuration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("00:00");
    const std::int64_t total = wholeUnits(seconds);
    const std::int64_t hundredths = std::int64_t((seconds - std::floor(seconds)) * 100);
    const QString rest = twoDigits((total % 3600) / 60) + QLatin1Char(':') + twoDigits(total % 60)
                         + QLatin1Char('.') + twoDigits(hundredths);
    return total < 3600 ? rest : QString::number(total / 3600) + QLatin1Char(':') + rest;
}

QString markerSpanText(double a, double b)
{
    const double d = std::fabs(b - a);
    const std::int64_t s = std::isfinite(d) ? wholeUnits(d) : 0;
    const QString minutesSeconds = twoDigits((s % 3600) / 60) + QLatin1Char(':') + twoDigits(s % 60);
    return s >= 3600 ? QString::number(s / 3600) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}

double minimumZoom(double retainedEnd, double contentEnd, double scrollAreaWidth)
{
    const double end = std::isnan(retainedEnd) || std::isnan(contentEnd) ? NAN : std::max(retainedEnd, contentEnd);
    if (!(end > 0) || !(scrollAreaWidth > leadPad + trailPad))
        return 0.1;
    return std::min(maxPps, (scrollAreaWidth - leadPad - trailPad) / std::max(1.0, end) * 0.25);
}

double rulerEndTime(double retainedEnd, double contentEnd, double playhead)
{
    double end = std::max(std::max(retainedEnd, 1.0), contentEnd);
    if (std::isfinite(playhead))
        end = std::max(end, playhead);
    return end;
}

double contentWidth(double rulerEnd, double pps, double scrollAreaWidth)
{
    return std::max(rulerEnd * pps + leadPad + trailPad, scrollAreaWidth);
}

double zoomSliderPosition(double pps, double minPps)
{
    const double range = maxPps - minPps;
    if (!(range > 0))
        return 0;
    const double p = std::min(1.0, std::max(0.0, (pps - minPps) / range));
    return std::pow(p, zoomSensitivity);
}

double zoomForSliderPosition(double position, double minPps)
{
    const double u = std::min(1.0, std::max(0.0, position));
    return minPps + (maxPps - minPps) * std::pow(u, 1 / zoomSensitivity);
}

double clampedZoom(double pps, double minPps)
{
    return std::min(maxPps, std::max(minPps, pps));
}

std::optional<double> pinchedZoom(double start, double magnification, double minPps)
{
    if (!(magnification > 0))
        return std::nullopt;
    return clampedZoom(start * std::pow(magnification, zoomSensitivity), minPps);
}

double scrolledZoom(double pps, double dy, double minPps)
{
    return clampedZoom(pps * (1 + dy * scrollZoomSensitivity), minPps);
}

SegmentGeometry segmentGeometry(double start, double duration, double pps, double leadPad, double trackH,
                                double handleW)
{
    if (!std::isfinite(start) || !std::isfinite(duration) || !(duration > 0) || !std::isfinite(pps) || !(pps > 0))
        return {};
    const double x0 = start * pps + leadPad;
    const double x1 = (start + duration) * pps + leadPad;
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(trackH) || !(trackH > 6) || !(x1 > x0))
        return {};
    SegmentGeometry g;
    g.rect = QRectF(x0, 3, x1 - x0, trackH - 6);
    g.handleWidth = std::min(std::max(0.0, (g.rect.width() - 8) * 0.5), std::max(0.0, handleW));
    if (g.handleWidth < 2)
        g.handleWidth = 0;
    return g;
}

LaneHitZone laneHitZone(const SegmentGeometry &geometry, double x)
{
    if (x < geometry.rect.left() + geometry.handleWidth)
        return LaneHitZone::startHandle;
    if (x >= geometry.rect.right() - geometry.handleWidth)
        return LaneHitZone::endHandle;
    return LaneHitZone::body;
}

bool laneContains(const SegmentGeometry &geometry, double x, double y)
{
    const QRectF &r = geometry.rect;
    return !r.isEmpty() && r.left() <= x && x < r.right() && r.top() <= y && y < r.bottom();
}

} // namespace routereel
