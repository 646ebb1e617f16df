#include "projectdocument.h"

#include <QCoreApplication>

#include <cmath>

namespace routereel {

namespace {

constexpr double T = ProjectDocument::maxTime;
constexpr double maxCanvasSide = 16384;
constexpr double maxWidgetSide = 4096;
constexpr double maxCornerRadius = 2048;
constexpr double maxPadding = 1024;
constexpr double maxFontSize = 200;
constexpr double maxPosition = 1000000;

// Finite and within [a, b]; NaN fails every comparison, so test finiteness first.
bool within(double value, double a, double b)
{
    return std::isfinite(value) && value >= a && value <= b;
}

bool positionOK(const std::optional<double> &position)
{
    return !position || within(*position, -maxPosition, maxPosition);
}

bool positionsOK(const std::optional<double> &x, const std::optional<double> &y)
{
    return positionOK(x) && positionOK(y);
}

bool sizeOK(const std::optional<QSizeF> &size)
{
    return !size || (within(size->width(), 1, maxCanvasSide) && within(size->height(), 1, maxCanvasSide));
}

template <typename W>
bool textWidgetOK(const W &w)
{
    return within(w.fontSize, 1, maxFontSize) && within(w.opacity, 0, 1) && positionsOK(w.positionX, w.positionY);
}

bool segmentOK(const SegmentData &s)
{
    return within(s.gpxStart, 0, T) && within(s.gpxEnd, s.gpxStart, T) && within(s.offset, 0, T)
        && (s.gpxEnd + s.offset) - s.gpxStart <= T;
}

bool videoSegmentOK(const VideoSegment &s)
{
    return within(s.sourceStart, 0, T) && within(s.sourceEnd, 0, T) && s.sourceEnd >= s.sourceStart
        && within(s.offset, 0, T) && (s.sourceEnd - s.sourceStart) + s.offset <= T;
}

bool mapOK(const MapData &m)
{
    return within(m.width, 1, maxWidgetSide) && within(m.height, 1, maxWidgetSide)
        && within(m.cornerRadius, 0, maxCornerRadius) && within(m.opacity, 0, 1)
        && positionsOK(m.positionX, m.positionY);
}

bool gpsPathOK(const GPSPathWidgetData &w)
{
    return within(w.width, 1, maxWidgetSide) && within(w.padding, 0, maxPadding) && within(w.opacity, 0, 1)
        && positionsOK(w.positionX, w.positionY);
}

bool heartRateGraphOK(const HeartRateGraphWidgetData &w)
{
    return within(w.width, 1, maxWidgetSide) && within(w.height, 1, maxWidgetSide) && within(w.opacity, 0, 1)
        && positionsOK(w.positionX, w.positionY);
}

} // namespace

std::optional<ProjectDocument::ValidationError> ProjectDocument::validate() const
{
    bool ok = within(playheadTime, 0, T) && sizeOK(canvasOrigin) && sizeOK(widgetLayoutSize);
    for (const SegmentData &segment : segments)
        ok = ok && segmentOK(segment);
    ok = ok && mapOK(map) && textWidgetOK(timeWidget) && textWidgetOK(speedWidget);
    ok = ok && (!gpsPathWidget || gpsPathOK(*gpsPathWidget));
    ok = ok && (!heartRateWidget || textWidgetOK(*heartRateWidget));
    ok = ok && (!heartRateGraphWidget || heartRateGraphOK(*heartRateGraphWidget));
    if (videoSegments) {
        for (const VideoSegment &segment : *videoSegments)
            ok = ok && videoSegmentOK(segment);
    }
    if (ok)
        return std::nullopt;
    return ValidationError::invalidValues;
}

QString ProjectDocument::message(ValidationError error)
{
    switch (error) {
    case ValidationError::invalidValues:
        return QCoreApplication::translate("ProjectDocument",
                                           "The project contains invalid timeline or widget values.");
    }
    return {};
}

} // namespace routereel
