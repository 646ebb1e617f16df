#include "maps/gpspathprojectioncache.h"
#include "maps/views/gpspathoverlayview.h"
#include "maps/views/gpspathwebmapview.h"
#include "support/testartifacts.h"
#include "support/waitfor.h"
#include "viewrender.h"

#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::waitFor;

namespace {

// A day's ride at one fix a second: a wandering line that crosses itself, a new segment every 10,000 points.
QList<TrackPoint> longRide(int count)
{
    QRandomGenerator rng(7);
    QList<TrackPoint> points;
    double lat = 47.37, lng = 8.54, heading = 0;
    for (int i = 0; i < count; ++i) {
        heading += (rng.generateDouble() * 2 - 1) * 0.2;
        lat += 7e-5 * std::cos(heading);
        lng += 1e-4 * std::sin(heading);
        TrackPoint p;
        p.lat = lat;
        p.lng = lng;
        p.time = 1.7e9 + i;
        p.startsSegment = i > 0 && i % 10000 == 0;
        points.append(p);
    }
    return points;
}

// The widget as it was drawn before its route was kept as a picture: every point stroked at every paint.
QImage fullDrawing(const GPSPathOverlayState &s, QSize pixels)
{
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(pixels.width() / s.size, pixels.height() / s.size);
    QPainterPath round;
    round.addEllipse(QRectF(0, 0, s.size, s.size));
    p.setClipPath(round);
    p.fillRect(QRectF(0, 0, s.size, s.size), Qt::black);
    const GPSPathProjection projection = GPSPathProjection::make(s.trackPoints, s.breaks, s.padding, s.size);
    QColor route = QColor::fromRgbF(0, 0.83f, 1);
    route.setAlphaF(0.9f);
    QPen pen(route, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    p.strokePath(GPSPathProjectionCache::pathOf(projection), pen);
    const QPointF dot = projection.point(s.currentLat, s.currentLng);
    p.setBrush(QColor::fromRgbF(1, 0.23f, 0.19f));
    QPen ring(Qt::white, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    ring.setMiterLimit(10);
    p.setPen(ring);
    p.drawEllipse(QRectF(dot.x() - 5, dot.y() - 5, 10, 10));
    return image;
}

// The view alone at its own size, on a transparent picture.
QImage drawn(QWidget &view)
{
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

int routePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += QColor(image.pixel(x, y)).blue() > 150 && QColor(image.pixel(x, y)).red() < 100;
    return n;
}

} // namespace

TEST(GPSPathOverlayView, longRouteIsDrawnAwayFromThePaintAndLooksTheSame)
{
    GPSPathOverlayState state;
    state.revision = QUuid::createUuid();
    state.trackPoints = longRide(50000);
    for (qsizetype i = 0; i < state.trackPoints.size(); ++i) {
        if (i == 0 || state.trackPoints[i].startsSegment)
            state.breaks.append(int(i));
    }
    state.currentLat = state.trackPoints[20000].lat;
    state.currentLng = state.trackPoints[20000].lng;
    state.size = 180;
    // At the canvas's scale and at a larger one.
    for (const QSize pixels : {QSize(180, 180), QSize(270, 270)}) {
        GPSPathOverlayView view;
        view.setState(state);
        view.resize(pixels);
        // The first paint does not wait for 50,000 points: the route follows.
        const QImage first = drawn(view);
        EXPECT_TRUE(view.isDrawingRoute());
        EXPECT_EQ(routePixels(first), 0);
        ASSERT_TRUE(waitFor([&] { return !view.isDrawingRoute(); }, 30000));
        const QImage route = drawn(view);
        EXPECT_GE(psnr(route, fullDrawing(state, pixels)), 40) << pixels.width();
        EXPECT_GT(routePixels(route), 500);

        // The dot moves with the playhead; the route is not drawn again.
        GPSPathOverlayState moved = state;
        moved.currentLat = state.trackPoints[40000].lat;
        moved.currentLng = state.trackPoints[40000].lng;
        view.setState(moved);
        const QImage next = drawn(view);
        EXPECT_FALSE(view.isDrawingRoute());
        EXPECT_GE(psnr(next, fullDrawing(moved, pixels)), 40) << pixels.width();
        if (pixels.width() == 180)
            saveTestArtifact(next, QStringLiteral("view-gpspath-long-track"));
    }
}
