#include "maps/webmaptrackoverlay.h"

#include "maps/webmercator.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace routereel {

namespace {

struct Rgba {
    double r, g, b, a;  // premultiplied, 0...1
};

Rgba premultiplied(QRgb colour, double opacity)
{
    return {qRed(colour) / 255.0 * opacity, qGreen(colour) / 255.0 * opacity, qBlue(colour) / 255.0 * opacity, opacity};
}

// The blend MapLibre draws with (one, one minus source alpha), rounded to 8 bits as the framebuffer is.
void blend(quint32 &pixel, const Rgba &src)
{
    if (src.a <= 0)
        return;
    const double keep = 1 - src.a;
    const auto channel = [&](double s, int shift) {
        const double d = double((pixel >> shift) & 0xff) / 255.0;
        return quint32(std::clamp(std::lround((s + d * keep) * 255.0), 0L, 255L)) << shift;
    };
    pixel = channel(src.a, 24) | channel(src.r, 16) | channel(src.g, 8) | channel(src.b, 0);
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

struct Polyline {
    std::vector<QPointF> points;
    bool startsTrack = true;  // a square end where the track starts, none where a cut begins
    bool endsTrack = true;
};

QRect around(double left, double top, double right, double bottom, double reach)
{
    return QRect(QPoint(int(std::floor(left - reach)), int(std::floor(top - reach))),
                 QPoint(int(std::ceil(right + reach)), int(std::ceil(bottom + reach))));
}

// One line layer: each polyline is one shape (its segments never add up), and
// polylines drawn over each other do, as the shader's triangles would. The edge
// ramp is one drawn pixel wide around the line's half width; the ends are cut square.
void drawLines(QImage &image, const std::vector<Polyline> &lines, double widthCss, QRgb colour, double opacity,
               double pixelRatio)
{
    const double reach = widthCss / 2 * pixelRatio + 0.5;  // beyond it the ramp is 0
    const QRect bounds = image.rect();
    const Rgba full = premultiplied(colour, opacity);
    std::vector<float> coverage;
    for (const Polyline &line : lines) {
        const std::vector<QPointF> &p = line.points;
        if (p.size() < 2)
            continue;
        double left = p[0].x(), right = left, top = p[0].y(), bottom = top;
        for (const QPointF &q : p) {
            left = std::min(left, q.x());
            right = std::max(right, q.x());
            top = std::min(top, q.y());
            bottom = std::max(bottom, q.y());
        }
        const QRect box = around(left, top, right, bottom, reach).intersected(bounds);
        if (box.isEmpty())
            continue;
        coverage.assign(std::size_t(box.width()) * std::size_t(box.height()), 0.0f);
        bool any = false;
        for (std::size_t i = 0; i + 1 < p.size(); ++i) {
            const QPointF a = p[i];
            const QPointF b = p[i + 1];
            const QRect segment = around(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()),
                                         std::max(a.y(), b.y()), reach)
                                      .intersected(box);
            if (segment.isEmpty())
                continue;
            const double dx = b.x() - a.x();
            const double dy = b.y() - a.y();
            const double length2 = dx * dx + dy * dy;
            const bool squareStart = i == 0 && line.startsTrack;
            const bool squareEnd = i + 2 == p.size() && line.endsTrack;
            for (int y = segment.top(); y <= segment.bottom(); ++y) {
                float *row = coverage.data() + std::size_t(y - box.top()) * std::size_t(box.width());
                const double py = y + 0.5;
                // The segment lies within a band of the reach around its line: only the
                // row's stretch of that band can be covered, a pixel more each side.
                int from = segment.left();
                int to = segment.right();
                if (std::abs(dy) > 1e-9) {
                    const double centre = a.x() + (py - a.y()) * dx / dy - 0.5;
                    const double half = reach * std::sqrt(length2) / std::abs(dy);
                    from = std::max(from, int(std::floor(std::max(centre - half, double(from)))) - 1);
                    to = std::min(to, int(std::ceil(std::min(centre + half, double(to)))) + 1);
                }
                for (int x = from; x <= to; ++x) {
                    const double px = x + 0.5;
                    double t = length2 > 0 ? ((px - a.x()) * dx + (py - a.y()) * dy) / length2 : 0;
                    if ((t < 0 && squareStart) || (t > 1 && squareEnd))
                        continue;
                    t = std::clamp(t, 0.0, 1.0);
                    const double ex = px - (a.x() + t * dx);
                    const double ey = py - (a.y() + t * dy);
                    // Most of a slanted segment's box lies beyond the ramp: no root for those.
                    const double distance2 = ex * ex + ey * ey;
                    if (distance2 >= reach * reach)
                        continue;
                    const double alpha = std::clamp(reach - std::sqrt(distance2), 0.0, 1.0);
                    float &c = row[x - box.left()];
                    if (alpha > c) {
                        c = float(alpha);
                        any = true;
                    }
                }
            }
        }
        if (!any)
            continue;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            auto *pixels = reinterpret_cast<quint32 *>(image.scanLine(y));
            const float *row = coverage.data() + std::size_t(y - box.top()) * std::size_t(box.width());
            for (int x = box.left(); x <= box.right(); ++x) {
                const double c = row[x - box.left()];
                if (c > 0)
                    blend(pixels[x], {full.r * c, full.g * c, full.b * c, full.a * c});
            }
        }
    }
}

struct Circle {
    double radius;
    QRgb colour;
    double opacity;
    double blur;
    double strokeWidth = 0;
    QRgb strokeColour = 0xffffffff;
};

// MapLibre's circle: a square of the radius plus the stroke, shaded by the distance from its centre.
void drawCircle(QImage &image, QPointF centre, const Circle &c, double pixelRatio)
{
    const double outer = c.radius + c.strokeWidth;
    const double half = outer * pixelRatio;
    const double blur = -std::max(1.0 / (pixelRatio * outer), c.blur);
    const Rgba fill = premultiplied(c.colour, c.opacity);
    const Rgba stroke = premultiplied(c.strokeColour, 1);
    const QRect box = around(centre.x(), centre.y(), centre.x(), centre.y(), half).intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        auto *pixels = reinterpret_cast<quint32 *>(image.scanLine(y));
        const double ey = (y + 0.5 - centre.y()) / half;
        if (std::abs(ey) > 1)
            continue;
        for (int x = box.left(); x <= box.right(); ++x) {
            const double ex = (x + 0.5 - centre.x()) / half;
            if (std::abs(ex) > 1)
                continue;
            const double length = std::hypot(ex, ey);
            const double opacityT = smoothstep(0, blur, length - 1);
            const double colourT = c.strokeWidth < 0.01 ? 0 : smoothstep(blur, 0, length - c.radius / outer);
            const auto mix = [&](double f, double s) { return opacityT * (f * (1 - colourT) + s * colourT); };
            blend(pixels[x], {mix(fill.r, stroke.r), mix(fill.g, stroke.g), mix(fill.b, stroke.b),
                              mix(fill.a, stroke.a)});
        }
    }
}

} // namespace

QPointF WebMapTrackOverlay::mercator(double lng, double lat)
{
    return {webmercator::x(lng, 1), webmercator::y(lat, 1)};
}

void WebMapTrackOverlay::setTrack(const QList<QPointF> &coords, const QList<int> &breaks)
{
    m_lngLat.clear();
    m_points.clear();
    m_starts.clear();
    m_lngLat.reserve(coords.size());
    m_points.reserve(coords.size());
    for (qsizetype i = 0; i < coords.size(); ++i) {
        double lng = coords[i].x();
        if (i > 0)
            lng += 360 * std::round((m_lngLat.last().x() - lng) / 360);
        m_lngLat.append(QPointF(lng, coords[i].y()));
        m_points.append(mercator(lng, coords[i].y()));
    }
    if (coords.isEmpty())
        return;
    m_starts.append(0);
    for (int b : breaks)
        if (b > 0 && b < coords.size() && !m_starts.contains(b))
            m_starts.append(b);
    std::sort(m_starts.begin(), m_starts.end());
}

void WebMapTrackOverlay::draw(QImage &image, const View &view, int idx, double curLng, double curLat) const
{
    const double world = std::ldexp(512.0, view.zoom);
    const QPointF centre = mercator(view.mapLng, view.mapLat);
    const double b = view.bearing * M_PI / 180;
    const double cosB = std::cos(b);
    const double sinB = std::sin(b);
    const double r = view.pixelRatio;
    const QPointF middle(view.size.width() / 2, view.size.height() / 2);
    // Device pixels of a point of the world copy `shift` worlds east.
    const auto screen = [&](QPointF unit, double shift) {
        const double dx = (unit.x() + shift - centre.x()) * world;
        const double dy = (unit.y() - centre.y()) * world;
        return QPointF((middle.x() + cosB * dx + sinB * dy) * r, (middle.y() - sinB * dx + cosB * dy) * r);
    };
    const auto copyShift = [&](double unitX) { return std::round(centre.x() - unitX); };
    // Segments far off the view are left out, which cuts a line into the parts near it.
    const double reach = (std::hypot(view.size.width(), view.size.height()) / 2 + 16) / world;
    const auto addPolyline = [&](qsizetype from, qsizetype to, std::optional<QPointF> last,
                                 std::vector<Polyline> &out) {
        std::vector<QPointF> units;
        units.reserve(std::size_t(std::max<qsizetype>(0, to - from)) + 1);
        for (qsizetype i = from; i < to; ++i)
            units.push_back(m_points[i]);
        if (last)
            units.push_back(*last);
        Polyline line;
        const auto flush = [&](bool endsTrack) {
            line.endsTrack = endsTrack;
            if (line.points.size() >= 2)
                out.push_back(line);
            line = Polyline();
            line.startsTrack = false;
        };
        for (std::size_t i = 0; i + 1 < units.size(); ++i) {
            const QPointF a = units[i];
            const QPointF c = units[i + 1];
            const double shift = copyShift(a.x());
            const double ax = a.x() + shift - centre.x();
            const double cx = c.x() + shift - centre.x();
            const double ay = a.y() - centre.y();
            const double cy = c.y() - centre.y();
            const bool near = !((ax > reach && cx > reach) || (ax < -reach && cx < -reach)
                                || (ay > reach && cy > reach) || (ay < -reach && cy < -reach));
            if (!near) {
                if (!line.points.empty())
                    flush(false);
                line.startsTrack = false;
                continue;
            }
            if (line.points.empty())
                line.points.push_back(screen(a, shift));
            line.points.push_back(screen(c, shift));
        }
        flush(true);
    };
    const auto polylineEnd = [&](qsizetype k) { return k + 1 < m_starts.size() ? m_starts[k + 1] : m_points.size(); };
    std::vector<Polyline> full;
    for (qsizetype k = 0; k < m_starts.size(); ++k)
        addPolyline(m_starts[k], polylineEnd(k), std::nullopt, full);
    drawLines(image, full, 2, qRgb(0x4A, 0x90, 0xD9), 0.3, r);

    std::vector<Polyline> travelled;
    if (idx >= 0 && idx < m_points.size()) {
        const qsizetype active = std::upper_bound(m_starts.begin(), m_starts.end(), idx) - m_starts.begin() - 1;
        for (qsizetype k = 0; k < active; ++k)
            addPolyline(m_starts[k], polylineEnd(k), std::nullopt, travelled);
        const double lng = curLng + 360 * std::round((m_lngLat[idx].x() - curLng) / 360);
        addPolyline(m_starts[active], idx, mercator(lng, curLat), travelled);
    }
    drawLines(image, travelled, 3, qRgb(0x00, 0xD4, 0xFF), 0.9, r);

    const QPointF dotUnit = mercator(curLng, curLat);
    const QPointF dot = screen(dotUnit, copyShift(dotUnit.x()));
    drawCircle(image, dot, {12, qRgb(0xFF, 0x3B, 0x30), 0.5, 0.9}, r);
    drawCircle(image, dot, {7, qRgb(0xFF, 0x3B, 0x30), 1, 0, 2, qRgb(0xFF, 0xFF, 0xFF)}, r);
}

} // namespace routereel
