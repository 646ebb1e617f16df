#include "exporttestutil.h"

#include "export/overlayframecomposition.h"
#include "maps/tilecache.h"
#include "maps/tilemaprenderer.h"
#include "timeline/timelineengine.h"
#include "widgets/speedunit.h"
#include "widgets/textwidgetrenderer.h"

#include <QTemporaryDir>

#include <random>
#include <vector>

using namespace routereel;
using namespace exporttest;

namespace {

struct Frame {
    Frame(int w, int h) : memory(std::size_t(w) * h * 4), width(w) { slot.data = memory.data(); }
    quint32 pixel(int x, int y) const
    {
        return reinterpret_cast<const quint32 *>(memory.data())[std::size_t(y) * width + x];
    }
    bool allZero() const
    {
        return std::all_of(memory.begin(), memory.end(), [](unsigned char b) { return b == 0; });
    }
    std::vector<unsigned char> memory;
    int width;
    OverlayFrameComposer::Slot slot;
};

FrameParams withTime(const QString &text)
{
    FrameParams params;
    params.timeStr = text;
    return params;
}

OverlayFrameComposer::Setup canvas(int width, int height)
{
    OverlayFrameComposer::Setup setup;
    setup.width = width;
    setup.height = height;
    return setup;
}

} // namespace

TEST(FrameParams, TextsAndPositionFollowTheTrack)
{
    GPXTrack track = makeTrack(10);
    track.trackPoints[5].startsSegment = true;
    track.trackPoints[7].heartRate.reset();
    TimelineEngine engine;
    engine.setSegments({wholeTrack(track, 3)});

    FrameParamsContext context;
    context.needsTrackData = true;
    context.engine = &engine;
    context.tracks = {makeTrack(4), track};
    context.startTime = 3;
    context.frameRate = 5;
    context.texts.time = textWidget(0, 0);
    context.texts.speed = textWidget(0, 0);
    context.texts.speed.speedUnit = SpeedUnit::ms;
    context.texts.heartRate = textWidget(0, 0);

    const FrameParams first = computeFrameParams(0, context);
    EXPECT_TRUE(first.hasPosition);
    EXPECT_EQ(first.trackIndex, 0);
    EXPECT_EQ(first.flattenedIndex, 5);  // after the 5 points of the first track
    EXPECT_EQ(first.trackPoints.size(), track.trackPoints.size());
    EXPECT_EQ(first.speedStr, QStringLiteral("0.0 m/s"));
    EXPECT_EQ(first.timeStr, timeOfDayText(track.trackPoints[0].time));
    EXPECT_EQ(first.hrStr, QStringLiteral("\u2665 100 bpm"));
    EXPECT_EQ(first.bearing, 0);
    EXPECT_EQ(first.mapCenterLat, first.dotLat);

    const FrameParams moving = computeFrameParams(11, context);  // 2.2 s into the track
    ASSERT_EQ(moving.trackIndex, 3);  // the first point at or after that time
    const double speed = haversineDistance(track.trackPoints[2], track.trackPoints[3]);
    EXPECT_EQ(moving.speedStr, formatSpeed(SpeedUnit::ms, speed));
    EXPECT_NE(moving.speedStr, QStringLiteral("0.0 m/s"));
    EXPECT_GT(moving.dotLat, track.trackPoints[2].lat);
    EXPECT_LT(moving.dotLat, track.trackPoints[3].lat);

    EXPECT_EQ(computeFrameParams(24, context).speedStr, QStringLiteral("0.0 m/s"));  // starts a new polyline
    EXPECT_FALSE(computeFrameParams(34, context).hrStr.has_value());                  // no heart rate there
    EXPECT_TRUE(computeFrameParams(29, context).hrStr.has_value());

    context.orientation = MapOrientation::follow;
    context.texts.heartRate.hrShowIcon = false;
    context.heartRateMinMax = HeartRateMinMax{95, 178};
    const FrameParams follow = computeFrameParams(11, context);
    EXPECT_GT(follow.bearing, 0);
    EXPECT_LT(follow.bearing, 90);  // north-east
    EXPECT_EQ(follow.hrStr, QStringLiteral("103 bpm\n Min: 95 / Max: 178 "));

    context.needsTrackData = false;
    const FrameParams none = computeFrameParams(11, context);
    EXPECT_TRUE(none.trackPoints.isEmpty());
    EXPECT_FALSE(none.timeStr || none.speedStr || none.hrStr);

    // No segment on the timeline: no position, nothing to show.
    context.needsTrackData = true;
    engine.setSegments({});
    const FrameParams lost = computeFrameParams(11, context);
    EXPECT_FALSE(lost.hasPosition);
    EXPECT_TRUE(lost.trackPoints.isEmpty());
    EXPECT_EQ(lost.dotLat, 0);
    EXPECT_FALSE(lost.timeStr || lost.speedStr || lost.hrStr);
}

TEST(TextImages, OneImagePerTextAndBoundedCache)
{
    TextWidgetConfigs texts{textWidget(0, 0, 20), textWidget(0, 0, 20), textWidget(0, 0, 20)};
    TextImageCache cache;
    FrameParams hr;
    hr.hrStr = QStringLiteral("\u2665 120 bpm\n Min: 90 / Max: 150 ");
    EXPECT_FALSE(prepareTextImages(cache, {withTime("10:00:01"), withTime("10:00:01"), withTime("10:00:01"), hr},
                                   texts, 2, {}));
    EXPECT_EQ(cache.size(), 2);
    ASSERT_TRUE(cache.contains(QStringLiteral("t_10:00:01")));
    const QImage oneLine = cache.value(QStringLiteral("t_10:00:01"));
    const QImage twoLines = cache.value(QStringLiteral("h_") + *hr.hrStr);
    EXPECT_GT(twoLines.height(), oneLine.height() * 5 / 4);
    // Rendered at the text scale: twice the size of the same text at scale 1.
    TextImageCache single;
    prepareTextImages(single, {withTime("10:00:01")}, {textWidget(0, 0, 10), {}, {}}, 1, {});
    EXPECT_NEAR(oneLine.height(), 2 * single.value(QStringLiteral("t_10:00:01")).height(), 2);

    for (int i = 0; i < 1030; ++i)
        cache.insert(QString::number(i), oneLine);
    prepareTextImages(cache, {withTime("10:00:02")}, texts, 1, {});
    EXPECT_EQ(cache.size(), 1);

    int asked = 0;
    const auto error = prepareTextImages(cache, {withTime("a"), withTime("b"), withTime("c")}, texts, 1,
                                         [&] { return ++asked > 1; });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ExportError::Kind::cancelled);
    EXPECT_EQ(cache.size(), 2);  // "a" stays
}

TEST(OverlayComposer, UnpremultiplyGivesStraightAlpha)
{
    quint32 pixels[4] = {0x80808080u, 0x00000000u, 0xFF102030u, 0x40200000u};
    unpremultiplyRows(reinterpret_cast<unsigned char *>(pixels), 16, QRect(0, 0, 4, 1));
    EXPECT_EQ(pixels[0], 0x80FFFFFFu);
    EXPECT_EQ(pixels[1], 0u);
    EXPECT_EQ(pixels[2], 0xFF102030u);
    EXPECT_EQ(pixels[3], 0x40800000u);

    // Runs of opaque and clear pixels with a partly clear one anywhere among them, in
    // rectangles of every alignment: each pixel as on its own, nothing outside touched.
    std::mt19937 random(7);
    const int width = 53;
    std::vector<quint32> image(std::size_t(width) * 9);
    for (int round = 0; round < 200; ++round) {
        for (quint32 &p : image) {
            const int kind = int(random() % 10);
            const quint32 a = kind < 5 ? 255 : kind < 9 ? 0 : 1 + random() % 254;
            // Now and then a component above its alpha, which no painter should leave.
            const auto c = [&] { return a == 0 ? 0u : quint32(random() % (random() % 50 ? a + 1 : 256)); };
            p = (a << 24) | (c() << 16) | (c() << 8) | c();
        }
        const int x0 = int(random() % width);
        const int y0 = int(random() % 9);
        const QRect rect(x0, y0, 1 + int(random() % (width - x0)), 1 + int(random() % (9 - y0)));
        std::vector<quint32> expected = image;
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < width; ++x) {
                quint32 &p = expected[std::size_t(y * width + x)];
                const quint32 a = p >> 24;
                if (!rect.contains(x, y) || a == 0 || a == 255)
                    continue;
                const auto straight = [a](quint32 c) { return std::min(255u, (c * 255 + a / 2) / a); };
                p = (a << 24) | straight((p >> 16) & 0xff) << 16 | straight((p >> 8) & 0xff) << 8 | straight(p & 0xff);
            }
        }
        unpremultiplyRows(reinterpret_cast<unsigned char *>(image.data()), width * 4, rect);
        ASSERT_EQ(image, expected) << "round " << round;
    }

    // Every alpha with every component.
    std::vector<quint32> all;
    for (quint32 a = 1; a < 255; ++a) {
        for (quint32 c = 0; c <= a; ++c)
            all.push_back((a << 24) | (c << 16) | ((a - c) << 8) | (c / 2));
    }
    std::vector<quint32> straight = all;
    for (quint32 &p : straight) {
        const quint32 a = p >> 24;
        const auto s = [a](quint32 c) { return (c * 255 + a / 2) / a; };
        p = (a << 24) | s((p >> 16) & 0xff) << 16 | s((p >> 8) & 0xff) << 8 | s(p & 0xff);
    }
    unpremultiplyRows(reinterpret_cast<unsigned char *>(all.data()), int(all.size()) * 4, QRect(0, 0, int(all.size()), 1));
    EXPECT_EQ(all, straight);
}

TEST(OverlayComposer, TextLandsAtItsPlaceAndIsClearedFromTheReusedSlot)
{
    OverlayFrameComposer::Setup setup = canvas(320, 240);
    setup.texts.time = textWidget(100, 60, 20);
    TextWidgetConfigs half = setup.texts;
    half.time.opacity = 0.5;
    TextImageCache cache;
    prepareTextImages(cache, {withTime("12:34:56")}, setup.texts, 1, {});
    const QImage image = cache.value(QStringLiteral("t_12:34:56"));
    ASSERT_FALSE(image.isNull());

    const OverlayFrameComposer composer(setup);
    Frame frame(320, 240);
    composer.initialise(frame.slot);
    composer.draw(frame.slot, withTime("12:34:56"), std::nullopt, false, cache);
    const QRect box(100 - image.width() / 2, 60 - image.height() / 2, image.width(), image.height());
    int inside = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            if (frame.pixel(x, y) == 0)
                continue;
            ++inside;
            ASSERT_TRUE(box.adjusted(-1, -1, 1, 1).contains(x, y)) << x << "," << y;
        }
    }
    EXPECT_GT(inside, box.width() * box.height() / 2);

    // Straight alpha: at half opacity the colour stays, the alpha halves.
    setup.texts = half;
    Frame faded(320, 240);
    OverlayFrameComposer(setup).initialise(faded.slot);
    OverlayFrameComposer(setup).draw(faded.slot, withTime("12:34:56"), std::nullopt, false, cache);
    int compared = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const quint32 full = frame.pixel(x, y);
            if (qAlpha(full) != 255)
                continue;
            const quint32 weak = faded.pixel(x, y);
            EXPECT_NEAR(qAlpha(weak), 128, 1);
            EXPECT_NEAR(qRed(weak), qRed(full), 2);
            EXPECT_NEAR(qGreen(weak), qGreen(full), 2);
            ++compared;
        }
    }
    EXPECT_GT(compared, 0);

    // The next frame drawn into the same buffer shows nothing of this one.
    composer.draw(frame.slot, FrameParams{}, std::nullopt, false, cache);
    EXPECT_TRUE(frame.allZero());
}

TEST(OverlayComposer, TextBoxStaysWholeInsideTheFrame)
{
    // A wide two-line heart-rate box whose centre sits near or beyond each edge.
    OverlayFrameComposer::Setup setup = canvas(320, 240);
    FrameParams params;
    params.hrStr = QStringLiteral("\u2665 142 bpm\nMin: 100 / Max: 108");
    setup.texts.heartRate = textWidget(0, 0, 20);
    TextImageCache cache;
    prepareTextImages(cache, {params}, setup.texts, 1, {});
    const QImage image = cache.value(QStringLiteral("h_") + *params.hrStr);
    ASSERT_FALSE(image.isNull());
    const QSizeF box = TextWidgetRenderer::boxSize(image);
    ASSERT_GT(box.width(), 100);

    for (const QPoint centre : {QPoint(20, 120), QPoint(300, 230), QPoint(-50, -40), QPoint(160, 120)}) {
        setup.texts.heartRate.x = centre.x();
        setup.texts.heartRate.y = centre.y();
        Frame frame(320, 240);
        const OverlayFrameComposer composer(setup);
        composer.initialise(frame.slot);
        composer.draw(frame.slot, params, std::nullopt, false, cache);
        // The box is at least half opaque; its shadow is fainter.
        QRect drawn;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (qAlpha(frame.pixel(x, y)) >= 120)
                    drawn |= QRect(x, y, 1, 1);
        EXPECT_NEAR(drawn.width(), box.width(), 1.5) << centre.x() << "," << centre.y();
        EXPECT_NEAR(drawn.height(), box.height(), 1.5) << centre.x() << "," << centre.y();
        if (centre == QPoint(160, 120))
            EXPECT_NEAR(drawn.center().x(), 160, 1);
    }
}

TEST(OverlayComposer, OverlayFramesStayOpaqueOverDarkGreen)
{
    OverlayFrameComposer::Setup setup = canvas(200, 100);
    setup.overlayMode = true;
    setup.texts.time = textWidget(100, 50, 20);
    setup.texts.time.opacity = 0.5;
    TextImageCache cache;
    prepareTextImages(cache, {withTime("09:00:00")}, setup.texts, 1, {});
    const OverlayFrameComposer composer(setup);
    Frame frame(200, 100);
    composer.initialise(frame.slot);
    composer.draw(frame.slot, withTime("09:00:00"), std::nullopt, false, cache);
    EXPECT_EQ(frame.pixel(0, 0), 0xFF006400u);  // opaque (0, 100, 0)
    bool drawn = false;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(qAlpha(frame.pixel(x, y)), 255);
            drawn = drawn || frame.pixel(x, y) != OverlayFrameComposer::overlayBackground;
        }
    }
    EXPECT_TRUE(drawn);
}

TEST(OverlayComposer, FrameWithoutPositionDrawsNoMap)
{
    QTemporaryDir dir;
    TileCache::Options options;
    options.root = dir.path();
    TileCache cache(options);
    cache.stopNetwork();
    TileMapRenderer renderer(QSizeF(100, 100), MapShape::circle, MapProvider::openStreetMap, {}, 15, {},
                             QSizeF(100, 100), 0, cache);
    OverlayFrameComposer::Setup setup = canvas(320, 240);
    setup.map.enabled = true;
    setup.map.renderer = &renderer;
    setup.map.rect = QRect(0, 0, 100, 100);
    setup.map.ring = mapBorderRing(MapShape::circle, 100, 100, MapBorderStyle::gta, 1, 0);
    const OverlayFrameComposer composer(setup);
    Frame frame(320, 240);
    composer.initialise(frame.slot);
    composer.draw(frame.slot, FrameParams{}, std::nullopt, false, {});
    EXPECT_TRUE(frame.allZero());

    // With a position the same setup draws the map and its ring.
    const GPXTrack track = makeTrack(3);
    FrameParams here;
    here.trackPoints = track.trackPoints;
    here.trackIndex = 1;
    here.hasPosition = true;
    here.dotLat = here.mapCenterLat = track.trackPoints[1].lat;
    here.dotLng = here.mapCenterLng = track.trackPoints[1].lng;
    composer.draw(frame.slot, here, std::nullopt, false, {});
    EXPECT_EQ(qAlpha(frame.pixel(50, 50)), 255);
}

TEST(OverlayComposer, NorthBadgeTurnsAroundAFollowingMap)
{
    OverlayFrameComposer::Setup setup = canvas(200, 200);
    setup.map.enabled = true;
    setup.map.rect = QRect(50, 50, 100, 100);
    setup.map.borderWidth = 10;
    setup.map.badge = northBadgeImage(20, 1);
    ASSERT_TRUE(setup.map.badge);
    QImage blue(100, 100, QImage::Format_ARGB32_Premultiplied);
    blue.fill(Qt::blue);

    struct Case {
        MapOrientation orientation;
        QPoint badgeCentre;  // 55 px from the map's centre: the middle of the border band
    };
    for (const Case &c :
         {Case{MapOrientation::north, QPoint(100, 45)}, Case{MapOrientation::follow, QPoint(45, 100)}}) {
        setup.map.orientation = c.orientation;
        const OverlayFrameComposer composer(setup);
        Frame frame(200, 200);
        composer.initialise(frame.slot);
        FrameParams params;
        params.bearing = 90;  // heading east
        composer.draw(frame.slot, params, blue, true, {});
        // The black disc beside the letter.
        const quint32 disc = frame.pixel(c.badgeCentre.x() - 7, c.badgeCentre.y());
        EXPECT_EQ(qAlpha(disc), 255);
        EXPECT_LT(qRed(disc) + qGreen(disc) + qBlue(disc), 60);
        // The prepared map is clipped to the circle.
        EXPECT_EQ(frame.pixel(52, 52), 0u);
        EXPECT_EQ(frame.pixel(100, 100), 0xFF0000FFu);
    }
}

TEST(OverlayComposer, ReachHoldsEveryFrame)
{
    // What is sent to ffmpeg over source video is only the reach: every frame must draw inside it.
    GPXTrack track = makeTrack(12);
    track.trackPoints[9].lat += 0.05;  // one wild fix: the widest speed text, late in the track
    track.trackPoints[10].heartRate = 99;
    TimelineEngine engine;
    engine.setSegments({wholeTrack(track)});
    FrameParamsContext context;
    context.needsTrackData = true;
    context.engine = &engine;
    context.tracks = {track};
    context.frameRate = 2;
    context.orientation = MapOrientation::follow;
    context.texts.time = textWidget(10, 10, 20);  // pushed inside by the corner
    context.texts.speed = textWidget(300, 20, 24);
    context.texts.heartRate = textWidget(380, 280, 18);
    context.heartRateMinMax = HeartRateMinMax{90, 180};

    OverlayFrameComposer::Setup setup = canvas(400, 300);
    setup.texts = context.texts;
    setup.map.enabled = true;
    setup.map.orientation = MapOrientation::follow;
    setup.map.rect = QRect(40, 150, 100, 100);
    setup.map.borderWidth = 10;
    setup.map.badge = northBadgeImage(20, 1);
    ASSERT_TRUE(setup.map.badge);
    QImage map(100, 100, QImage::Format_ARGB32_Premultiplied);
    map.fill(Qt::blue);
    const OverlayFrameComposer composer(setup);
    const QRegion reach = composer.reach(widestTextImages(context, 1));

    Frame frame(400, 300);
    composer.initialise(frame.slot);
    TextImageCache texts;
    QStringList speeds;
    for (int i = 0; i < 25; ++i) {
        FrameParams params = computeFrameParams(i, context);
        params.bearing = i * 15.0;  // the badge goes round the map
        ASSERT_EQ(prepareTextImages(texts, {params}, setup.texts, 1, {}), std::nullopt);
        composer.draw(frame.slot, params, map, true, texts);
        EXPECT_TRUE((frame.slot.dirty - reach).isEmpty()) << "frame " << i;
        speeds << params.speedStr.value_or(QString());
    }
    EXPECT_TRUE(std::any_of(speeds.begin(), speeds.end(), [](const QString &s) { return s.size() >= 12; }))
        << speeds.join(QLatin1Char('|')).toStdString();
}
