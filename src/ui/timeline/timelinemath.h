#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <limits>
#include <optional>

// The timeline panel's arithmetic: zoom bounds, the ruler's tick grid, segment
// rectangles and the panel's time texts. No widgets here, so that every rule
// can be checked on its own.
namespace routereel {

namespace timelinemetrics {
inline constexpr double trackH = 44;        // each lane
inline constexpr double rulerH = 26;
inline constexpr double labelW = 80;        // header column
inline constexpr double handleW = 8;        // nominal trim zone
inline constexpr double maxPps = 200;       // highest zoom, points per second
inline constexpr double initialPps = 20;
inline constexpr double leadPad = 8;        // space before time 0
inline constexpr double trailPad = 100;     // space after the ruler end
inline constexpr double zoomSensitivity = 0.5;
inline constexpr double scrollZoomSensitivity = 0.005;
inline constexpr double buttonZoomFactor = 1.1;
inline constexpr double toolbarButtonWidth = 32;
inline constexpr double dragThreshold = 4;  // horizontal travel before a drag moves or trims
inline constexpr double scrollBarH = 10;     // the scroll bar's own strip under the lanes
inline constexpr double panelHeight = rulerH + 2 * trackH + 32 + scrollBarH;
} // namespace timelinemetrics

struct TickSteps {
    double label;
    double tick;
    bool operator==(const TickSteps &) const = default;
};

// Label and tick spacing in seconds for a zoom; the thresholds are strict.
TickSteps tickSteps(double pps);

// How far apart the ruler's labels are drawn: the ladder's label step, or when
// its labels would overlap (a long timeline far out), the first whole multiple
// of it among round durations (an hour, six hours, a day, a week ...) that
// leaves `minimumSeconds` between labels.
double rulerLabelInterval(double labelStep, double minimumSeconds);

// Times origin + k * step from the first at or after 0 to the first at or after
// `end`, limited to the window [from, to] (widened to whole steps) when given.
QList<double> timelineTickTimes(double origin, double end, double step,
                                double from = -std::numeric_limits<double>::infinity(),
                                double to = std::numeric_limits<double>::infinity());

// "00:00:00.00" (long, hours always) or "00:00.00" (compact, hours from one
// hour on); hundredths are cut, never rounded up; negative times carry U+2212.
QString formatTimecode(double seconds, bool compact);

// A segment's length on its GPX bar: "01:23.45", from an hour on "1:02:05.50".
QString formatLaneDuration(double seconds);

// Whole seconds between two markers: "01:15", from an hour on "1:02:05".
QString markerSpanText(double a, double b);

// Lowest zoom: the content (at least one second) fills a quarter of the usable
// width; 0.1 without content or before the panel has a usable width.
double minimumZoom(double retainedEnd, double contentEnd, double scrollAreaWidth);
// The last time the ruler covers: at least one second, and always the playhead.
double rulerEndTime(double retainedEnd, double contentEnd, double playhead);
double contentWidth(double rulerEnd, double pps, double scrollAreaWidth);

// The zoom slider is a square-root curve over [minPps, maxPps].
double zoomSliderPosition(double pps, double minPps);
double zoomForSliderPosition(double position, double minPps);
double clampedZoom(double pps, double minPps);
// Zoom after a pinch of total magnification m from `start`; none for m <= 0.
std::optional<double> pinchedZoom(double start, double magnification, double minPps);
double scrolledZoom(double pps, double dy, double minPps);

struct SegmentGeometry {
    QRectF rect;               // empty: not drawn and never hit
    double handleWidth = 0;    // trim zone at each edge; 0 on narrow segments
};

enum class LaneHitZone { body, startHandle, endHandle };

// Where a segment of `duration` seconds starting at `start` sits in its lane.
SegmentGeometry segmentGeometry(double start, double duration, double pps, double leadPad, double trackH,
                                double handleW);
// Whether x (inside the rectangle) falls on a trim zone or the body.
LaneHitZone laneHitZone(const SegmentGeometry &geometry, double x);
bool laneContains(const SegmentGeometry &geometry, double x, double y);

} // namespace routereel
