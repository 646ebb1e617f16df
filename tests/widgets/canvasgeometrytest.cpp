#include "widgets/canvasgeometry.h"

#include <gtest/gtest.h>

#include <limits>

using namespace routereel;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(CanvasGeometry, ReferenceCanvasScalesShortSideToLayoutOr540)
{
    struct Case {
        QSizeF video;
        std::optional<QSizeF> layout;
        QSizeF expected;
    };
    const Case cases[] = {
        {{1080, 1920}, std::nullopt, {540, 960}},
        {{0, 0}, std::nullopt, {960, 540}},
        {{1920, notANumber}, std::nullopt, {960, 540}},
        {{3840, 2160}, QSizeF(640, 360), {640, 360}},
        {{1080, 1920}, QSizeF(1280, 720), {720, 1280}},
        {{1920, 1080}, QSizeF(1280, 0.5), {960, 540}},
        {{1000, 1000}, QSizeF(720, 1280), {720, 720}},
    };
    for (const Case &c : cases) {
        const QSizeF got = referenceCanvasSize(c.video, c.layout);
        EXPECT_DOUBLE_EQ(got.width(), c.expected.width()) << c.video.width() << "x" << c.video.height();
        EXPECT_DOUBLE_EQ(got.height(), c.expected.height()) << c.video.width() << "x" << c.video.height();
    }
}

TEST(CanvasGeometry, PreviewPointIsScaledAndKeptInsideMargins)
{
    struct Case {
        QPointF point;
        QSizeF preview;
        QSizeF video;
        QSizeF margin;
        QPointF expected;
    };
    const Case cases[] = {
        {{480, 270}, {960, 540}, {1920, 1080}, {100, 50}, {960, 540}},
        {{10, 10}, {960, 540}, {1920, 1080}, {100, 50}, {100, 50}},
        {{950, 535}, {960, 540}, {1920, 1080}, {100, 50}, {1820, 1030}},
        {{-40, 2000}, {960, 540}, {1920, 1080}, {0, 0}, {0, 1080}},
        // negative margins count as 0, margins beyond half the frame pin to the middle
        {{-40, 100}, {960, 540}, {1920, 1080}, {-5, 5000}, {0, 540}},
        // unusable sizes return the point untouched
        {{12, 34}, {0, 0}, {1920, 1080}, {100, 50}, {12, 34}},
        {{12, 34}, {960, 540}, {inf, 1080}, {100, 50}, {12, 34}},
    };
    for (const Case &c : cases) {
        const QPointF got = previewToVideoPoint(c.point, c.preview, c.video, c.margin);
        EXPECT_DOUBLE_EQ(got.x(), c.expected.x()) << c.point.x() << "," << c.point.y();
        EXPECT_DOUBLE_EQ(got.y(), c.expected.y()) << c.point.x() << "," << c.point.y();
    }
}

TEST(CanvasGeometry, WidgetCentreClamp)
{
    for (const QPointF centre : {QPointF(0, 0), QPointF(-300, 2000), QPointF(999, 1)}) {
        const QPointF got = clampedWidgetCenter(centre, {1000, 800}, {600, 600});
        EXPECT_EQ(got, QPointF(500, 400));
    }
    EXPECT_EQ(clampedWidgetCenter({10, 790}, {1000, 800}, {50, 25}), QPointF(50, 775));
    EXPECT_EQ(clampedWidgetCenter({10, 790}, {1000, 800}, {-50, -25}), QPointF(10, 790));
    EXPECT_EQ(clampedWidgetCenter({300, 300}, {1000, 800}, {50, 25}), QPointF(300, 300));
}

TEST(CanvasGeometry, AspectFitCentresContent)
{
    EXPECT_EQ(aspectFitRect({1920, 1080}, {800, 800}), QRectF(0, 175, 800, 450));
    EXPECT_EQ(aspectFitRect({1080, 1920}, {800, 800}), QRectF(175, 0, 450, 800));
    EXPECT_EQ(aspectFitRect({100, 100}, {400, 200}), QRectF(100, 0, 200, 200));
    EXPECT_EQ(aspectFitRect({0, 100}, {400, 200}), QRectF());
    EXPECT_EQ(aspectFitRect({100, 100}, {400, notANumber}), QRectF());
}
