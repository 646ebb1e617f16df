#include "maptestutil.h"

#include "maps/webmaptrackoverlay.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

TEST(WebMapTrackOverlay, ALineCoversWhatLiesWithinItsReachAtEverySlope)
{
    WebMapTrackOverlay::View view;
    view.mapLng = 8.5;
    view.mapLat = 47.4;
    view.zoom = 14;
    view.size = QSizeF(300, 200);
    view.pixelRatio = 1.5;
    const double world = std::ldexp(512.0, view.zoom);
    const QPointF middle(view.size.width() / 2, view.size.height() / 2);
    const double reach = 1 * view.pixelRatio + 0.5;  // the whole track's line is 2 CSS pixels wide
    for (const double degrees : {0.0, 3.0, 17.0, 45.0, 62.0, 89.0, 90.0, 91.0, 118.0, 135.0, 179.0, 203.0, 301.0}) {
        const double a = degrees * M_PI / 180;
        // From 20 CSS pixels behind the middle to 130 ahead of it.
        const QPointF along(std::cos(a), std::sin(a));
        const auto at = [&](double pixels) {
            const TrackPoint p = maptest::offset(view.mapLat, view.mapLng, pixels * along.x(), pixels * along.y(), world);
            return QPointF(p.lng, p.lat);
        };
        WebMapTrackOverlay overlay;
        overlay.setTrack({at(-20), at(130)}, {});
        QImage image(QSize(450, 300), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        overlay.draw(image, view, -1, -120, -60);  // the position far off the view

        const QPointF p = (middle - 20 * along) * view.pixelRatio;
        const QPointF d = 150 * along * view.pixelRatio;
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QPointF c(x + 0.5, y + 0.5);
                const double t = QPointF::dotProduct(c - p, d) / QPointF::dotProduct(d, d);
                const QPointF off = c - (p + std::clamp(t, 0.0, 1.0) * d);
                const double distance = std::hypot(off.x(), off.y());
                const int alpha = qAlpha(image.pixel(x, y));
                // The ends are cut square: nothing lies beyond them.
                if (t > 1e-6 && t < 1 - 1e-6 && distance < reach - 0.5) {
                    ASSERT_GT(alpha, 0) << degrees << " degrees, pixel " << x << "," << y;
                    ++covered;
                } else if (t < -1e-6 || t > 1 + 1e-6 || distance >= reach + 1e-6) {
                    ASSERT_EQ(alpha, 0) << degrees << " degrees, pixel " << x << "," << y;
                }
            }
        }
        EXPECT_GT(covered, 300) << degrees;  // at least two rows of pixels along most of the line
    }
}
