#include "webmapfixture.h"

#include "support/testartifacts.h"

#include "maps/gpspathfitcamera.h"
#include "maps/osmwebmapexportrenderer.h"
#include "maps/views/webmapexportpage.h"
#include "maps/webmapcapturepool.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace routereel;
using namespace webmaptest;

namespace {

QList<QPointF> loopTrack(int n)
{
    QList<QPointF> coords;
    for (const TrackPoint &p : route(n))
        coords.append(QPointF(p.lng, p.lat));
    return coords;
}

// The real off-screen page, counting the calls that reach it and optionally
// rewriting them (to make the page misbehave in a controlled way).
struct PageProbe {
    QStringList bodies;
    std::function<QString(const QString &)> rewrite;
    int pixelAnswers = 0;  // captures read back as raw pixels
    WebMapExportPage *page = nullptr;
};

class ProbedPage : public WebMapPage {
public:
    ProbedPage(std::unique_ptr<WebMapExportPage> inner, std::shared_ptr<PageProbe> probe)
        : m_inner(std::move(inner)), m_probe(std::move(probe))
    {
        m_probe->page = m_inner.get();
    }
    ~ProbedPage() override { m_probe->page = nullptr; }
    void call(const QString &body, const Arguments &args, Done done) override
    {
        m_probe->bodies << body;
        m_inner->call(m_probe->rewrite ? m_probe->rewrite(body) : body, args, std::move(done));
    }
    void evaluate(const QString &script, Done done) override
    {
        m_probe->bodies << script;
        m_inner->evaluate(script, [probe = m_probe, done](std::optional<QVariant> value) {
            probe->pixelAnswers += value && value->typeId() == QMetaType::QByteArray;
            done(std::move(value));
        });
    }
    void shutdown() override { m_inner->shutdown(); }

private:
    std::unique_ptr<WebMapExportPage> m_inner;
    std::shared_ptr<PageProbe> m_probe;
};

// `drawnSize`: the size the page really draws, when it should differ from the renderer's.
WebMapPageFactory probedFactory(std::shared_ptr<PageProbe> probe, std::optional<QSizeF> drawnSize = {})
{
    return [probe, drawnSize](const WebMapPageRequest &request) -> std::unique_ptr<WebMapPage> {
        WebMapPageRequest r = request;
        if (drawnSize)
            r.referenceSize = *drawnSize;
        return std::make_unique<ProbedPage>(std::make_unique<WebMapExportPage>(r), probe);
    };
}

using Kind = OSMWebMapExportRenderer::Kind;

std::unique_ptr<OSMWebMapExportRenderer> makeRenderer(std::shared_ptr<PageProbe> probe, QSizeF size, double ratio,
                                                     std::optional<QSizeF> drawnSize = {}, Kind kind = Kind::mapWidget,
                                                     std::optional<WebMapPageView> initialView = {})
{
    return std::make_unique<OSMWebMapExportRenderer>(kind, QStringLiteral("en"), size, ratio,
                                                     probedFactory(std::move(probe), drawnSize), initialView);
}

// Pictures the page drew and read back: a whole frame, or the map alone (as a
// PNG, or as pixels; a pixel read that found tiles missing is followed by
// another once they are drawn, and by a PNG when that one failed too).
int pageCaptures(const PageProbe &probe)
{
    return int(probe.bodies.filter(QRegularExpression(QStringLiteral("renderAndCapture|captureBase\\("))).size())
        + probe.pixelAnswers;
}

bool becomeReady(OSMWebMapExportRenderer &renderer)
{
    return runInBackground([&] { return renderer.waitUntilReady(std::chrono::seconds(60), {}); });
}

// The page's answer to a call (`pixels`: a script evaluated for a raw read-back).
std::optional<QVariant> answerOf(WebMapExportPage &page, const QString &body, const WebMapPage::Arguments &args = {},
                                 bool pixels = false)
{
    std::optional<QVariant> answer;
    bool answered = false;
    const auto done = [&](std::optional<QVariant> value) {
        answer = std::move(value);
        answered = true;
    };
    if (pixels)
        page.evaluate(body, done);
    else
        page.call(body, args, done);
    EXPECT_TRUE(waitFor([&] { return answered; }, 20000)) << body.toStdString();
    return answer;
}

// Pixels that differ between a raw read-back and the page's PNG of the same view.
int differingPixels(const QImage &readBack, const QImage &png)
{
    const QImage same = png.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(readBack.size(), same.size());
    int differing = 0;
    for (int y = 0; y < std::min(same.height(), readBack.height()); ++y)
        for (int x = 0; x < std::min(same.width(), readBack.width()); ++x)
            differing += readBack.pixel(x, y) != same.pixel(x, y);
    return differing;
}

// A 200 x 150 map page, ready and holding the 40-point loop.
struct LoopPage {
    std::shared_ptr<PageProbe> probe = std::make_shared<PageProbe>();
    std::unique_ptr<OSMWebMapExportRenderer> renderer;
    QList<QPointF> track = loopTrack(40);

    LoopPage(double ratio, const QList<int> &breaks) : renderer(makeRenderer(probe, QSizeF(200, 150), ratio))
    {
        ready = becomeReady(*renderer)
            && runInBackground([&] { return renderer->loadTrack(track, breaks, {}); });
    }
    // The frame centred on point i of the track.
    std::optional<QImage> frame(int i, double bearing)
    {
        return runInBackground([&] {
            return renderer->captureFrame(i, track[i].x(), track[i].y(), track[i].x(), track[i].y(), bearing, 15, {});
        });
    }
    bool ready = false;
};

} // namespace

TEST(WebMapExportRenderer, capturesFramesOfTheRequestedSizeOncePerParameters)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    LoopPage loop(2, {20});
    ASSERT_TRUE(loop.ready);
    const auto &probe = loop.probe;
    const auto &renderer = loop.renderer;
    auto frame = [&](int i) { return loop.frame(i, 30); };
    const auto image = frame(10);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(400, 300));
    saveTestArtifact(*image, QStringLiteral("webmap-export-frame"));
    EXPECT_TRUE(frame(10).has_value());
    EXPECT_EQ(pageCaptures(*probe), 1);
    const auto next = frame(11);
    ASSERT_TRUE(next.has_value());
    // The next point lies within the margin of the map's capture: no new one.
    EXPECT_EQ(pageCaptures(*probe), 1);
    EXPECT_NE(qAlpha(next->pixel(5, 5)), 0) << "a drawn map, not an empty canvas";
    EXPECT_NE(*next, *image) << "the map moved with the position";
    ASSERT_NE(probe->page, nullptr);
    EXPECT_GT(probe->page->frameDriver()->tickCount(), 0) << "animation frames come from the driver";
    renderer->shutdown();
}

TEST(WebMapExportRenderer, aCaptureThreePixelsOffIsAFailedAttempt)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    const QList<QPointF> track = loopTrack(10);
    struct Case {
        double drawnWidth;
        bool accepted;
        int pageCalls;
    };
    for (const Case c : {Case{197, false, 3}, Case{198, true, 1}}) {
        auto probe = std::make_shared<PageProbe>();
        auto renderer = makeRenderer(probe, QSizeF(200, 100), 1, QSizeF(c.drawnWidth, 100));
        ASSERT_TRUE(becomeReady(*renderer));
        ASSERT_TRUE(runInBackground([&] { return renderer->loadTrack(track, {}, {}); }));
        const QPointF at = track[2];
        const auto image = runInBackground(
            [&] { return renderer->captureFrame(2, at.x(), at.y(), at.x(), at.y(), 0, 15, {}); });
        EXPECT_EQ(image.has_value(), c.accepted) << c.drawnWidth;
        EXPECT_EQ(pageCaptures(*probe), c.pageCalls) << c.drawnWidth;
        renderer->shutdown();
    }
}

TEST(WebMapExportRenderer, loadTrackFailsUnlessThePageAnswersOk)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    const std::function<QString(const QString &)> rewrites[] = {
        [](const QString &b) { return QString(b).replace(QStringLiteral("return 'ok'"), QStringLiteral("return 'OK'")); },
        [](const QString &b) { return QStringLiteral("throw new Error('no track');") + b; },
        [](const QString &b) { return QString(b).replace(QStringLiteral("return 'ok';"), QString()); },
    };
    for (const auto &rewrite : rewrites) {
        auto probe = std::make_shared<PageProbe>();
        probe->rewrite = rewrite;
        auto renderer = makeRenderer(probe, QSizeF(100, 100), 1);
        ASSERT_TRUE(becomeReady(*renderer));
        EXPECT_FALSE(runInBackground([&] { return renderer->loadTrack(loopTrack(5), {}, {}); }))
            << rewrite(QStringLiteral("return 'ok';")).toStdString();
        renderer->shutdown();
    }
}

TEST(WebMapExportRenderer, aPageThatNeverGetsReadyFallsBackToRasterTiles)
{
    REQUIRE_WEBGL();
    ServiceScope service(/*answerStyle=*/false);
    auto probe = std::make_shared<PageProbe>();
    auto renderer = makeRenderer(probe, QSizeF(100, 100), 1);
    QList<TrackPoint> points(2);
    EXPECT_FALSE(runInBackground(
        [&] { return renderer->prepareForFrames(points, {}, 15, std::chrono::milliseconds(800), {}, {}); }));
    EXPECT_TRUE(waitFor([&] { return renderer->didShutdown(); }, 5000));
    EXPECT_TRUE(probe->bodies.isEmpty());
    EXPECT_EQ(probe->page, nullptr) << "the web view is released";
}

TEST(WebMapExportRenderer, capturesTheWholeGpsPathOnce)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    auto probe = std::make_shared<PageProbe>();
    auto renderer = makeRenderer(probe, QSizeF(150, 150), 2, {}, Kind::gpsPath);
    const QList<TrackPoint> points = route(60);
    const auto camera = GPSPathFitCamera::fit(points, 150, 22.5);
    ASSERT_TRUE(becomeReady(*renderer));
    const QString path = GPSPathFitCamera::geoJSON(points, {});
    const auto image = runInBackground(
        [&] { return renderer->captureStatic(path, camera.lng, camera.lat, camera.zoom, {}); });
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(300, 300));
    // Read back raw, and the same picture as the page's own PNG of that view.
    EXPECT_EQ(probe->pixelAnswers, 1);
    ASSERT_NE(probe->page, nullptr);
    const auto png = OSMWebMapExportRenderer::decodeCapture(
        answerOf(*probe->page, QStringLiteral("return captureStatic(JSON.parse(fc),lng,lat,zoom);"),
                 {{QStringLiteral("fc"), path},
                  {QStringLiteral("lng"), camera.lng},
                  {QStringLiteral("lat"), camera.lat},
                  {QStringLiteral("zoom"), camera.zoom}}));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(differingPixels(*image, *png), 0);
    saveTestArtifact(*image, QStringLiteral("webmap-gpspath-static"));
    // The route is drawn in the path colour somewhere in the middle band.
    int routePixels = 0;
    for (int y = 0; y < image->height(); ++y)
        for (int x = 0; x < image->width(); ++x) {
            const QColor c = image->pixelColor(x, y);
            routePixels += c.blue() > 200 && c.green() > 170 && c.red() < 80;
        }
    EXPECT_GT(routePixels, 100);
    renderer->shutdown();
}

namespace {

// Counts the paints of a widget and everything inside it.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest;
        return false;
    }
};

} // namespace

TEST(WebMapExportRenderer, turningCapturesLeaveTheOffScreenViewUnpainted)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    LoopPage loop(1, {});
    ASSERT_TRUE(loop.ready);
    const auto &probe = loop.probe;
    auto frame = [&](int i) { return loop.frame(i, 7.0 * i); };
    ASSERT_TRUE(frame(1).has_value());
    ASSERT_NE(probe->page, nullptr);
    PaintCounter counter;
    QWidget *view = probe->page->view();
    view->installEventFilter(&counter);
    for (QWidget *child : view->findChildren<QWidget *>())
        child->installEventFilter(&counter);
    const int before = pageCaptures(*probe);
    for (int i = 2; i < 12; ++i)
        ASSERT_TRUE(frame(i).has_value());
    ASSERT_EQ(pageCaptures(*probe) - before, 10) << "every turned frame is a fresh capture";
    // Pictures that are only read back need not be composited and painted too.
    EXPECT_LE(counter.paints, 2);
    loop.renderer->shutdown();
}

// The page's raw read-back of the map alone is its PNG capture of the same
// view, pixel for pixel: upright, channels in place.
TEST(WebMapExportRenderer, aPixelReadBackIsThePagesOwnPicture)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    LoopPage loop(1.5, {});
    ASSERT_TRUE(loop.ready && loop.probe->page);
    const QPointF at = loop.track[5];
    const QString view = QStringLiteral("%1,%2,30,15,20,10").arg(at.x(), 0, 'g', 17).arg(at.y(), 0, 'g', 17);
    WebMapExportPage &page = *loop.probe->page;
    // The PNG capture waits for the view's tiles; the read-back then draws it at once.
    const auto png = OSMWebMapExportRenderer::decodeCapture(
        answerOf(page, QStringLiteral("return captureBase(") + view + QStringLiteral(");")));
    ASSERT_TRUE(png.has_value());
    const QSizeF expected((200 + 2 * 20) * 1.5, (150 + 2 * 10) * 1.5);
    const auto pixels = OSMWebMapExportRenderer::decodePixels(
        answerOf(page, QStringLiteral("captureBasePixels(") + view + QLatin1Char(')'), {}, true), expected);
    ASSERT_TRUE(pixels.has_value());
    const int differing = differingPixels(*pixels, *png);
    EXPECT_EQ(differing, 0);
    if (differing) {
        saveTestArtifact(*pixels, QStringLiteral("webmap-pixels"));
        saveTestArtifact(*png, QStringLiteral("webmap-pixels-png"));
    }
}

namespace {

// Peak signal-to-noise ratio of two same-sized images over all four channels, in dB.
double psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int k = 0; k < x.width() * 4; ++k)
            sum += double(p[k] - q[k]) * double(p[k] - q[k]);
    }
    const double mse = sum / (double(x.width()) * x.height() * 4);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

// A slow map reuses its captures, moved by the sub-pixel rest; every frame
// still matches a fresh capture of its own parameters.
TEST(WebMapExportRenderer, reusedCapturesMatchFreshOnesOnASlowTrack)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    const QList<QPointF> track = loopTrack(40);
    struct Case {
        const char *orientation;
        double bearing, turnPerFrame;
    };
    for (const Case &c : {Case{"north", 0, 0}, Case{"follow", 30, 0.04}}) {
        SCOPED_TRACE(c.orientation);
        auto reusing = makeRenderer(std::make_shared<PageProbe>(), QSizeF(200, 150), 2);
        auto fresh = makeRenderer(std::make_shared<PageProbe>(), QSizeF(200, 150), 2);
        fresh->setReusesCaptures(false);
        ASSERT_TRUE(becomeReady(*reusing) && becomeReady(*fresh));
        for (auto *r : {reusing.get(), fresh.get()})
            ASSERT_TRUE(runInBackground([&] { return r->loadTrack(track, {}, {}); }));
        // About 0.15 drawn pixels a frame at zoom 15 (two drawn pixels a map pixel), between points 9 and 10.
        constexpr int frames = 16;
        for (int i = 0; i < frames; ++i) {
            const double lng = track[9].x() + 1.6e-6 * i;
            const double lat = track[9].y() + 0.4e-6 * i;
            const double bearing = c.bearing + c.turnPerFrame * i;
            std::optional<QImage> images[2];
            ASSERT_TRUE(runInBackground([&] {
                images[0] = reusing->captureFrame(10, lng, lat, lng, lat, bearing, 15, {});
                images[1] = fresh->captureFrame(10, lng, lat, lng, lat, bearing, 15, {});
                return images[0] && images[1];
            }));
            ASSERT_EQ(images[0]->size(), images[1]->size());
            EXPECT_GE(psnr(*images[0], *images[1]), 40.0) << "frame " << i;
        }
        const auto stats = reusing->captureStats();
        EXPECT_GE(stats.reused, frames / 3) << "a slow map is not captured every frame";
        EXPECT_LT(stats.made, frames / 2);
        EXPECT_EQ(fresh->captureStats().made, frames);
        reusing->shutdown();
        fresh->shutdown();
    }
}

// The shortcuts on a fast track (about 9 CSS pixels a frame): a North map is
// cut out of a larger capture of the map alone, a turning one (bending at
// every frame) is captured in one page call per frame, frames alternating
// between two pages; the program draws the track and the position on top.
// Every frame matches the page's own drawing of its parameters.
TEST(WebMapExportRenderer, framesDrawnOverAMapCaptureMatchFreshCapturesOnAFastTrack)
{
    REQUIRE_WEBGL();
    ServiceScope service;
    const QList<QPointF> track = loopTrack(40);
    struct Case {
        const char *orientation;
        double ratio, bearing, turnPerFrame;
        int frames, maxCaptures;
    };
    // Eastwards along the route, past point 11 and the break at 12.
    const auto position = [&](int i) {
        const double along = 10.5 + 0.1 * i;
        const int before = int(along);
        const double t = along - before;
        return std::make_pair(before, track[before] + t * (track[before + 1] - track[before]));
    };
    for (const Case &c : {Case{"north", 1.5, 0, 0, 18, 3}, Case{"follow", 2, 30, 9, 6, 6},
                          Case{"follow", 1.5, 200, 7, 6, 6}}) {
        SCOPED_TRACE(std::string(c.orientation) + " at " + std::to_string(c.ratio));
        const bool north = c.turnPerFrame == 0;
        auto probe = std::make_shared<PageProbe>();
        // A North-up export page opens at its first frame with room to move in,
        // and takes its first capture while it is prepared.
        const QPointF start = position(0).second;
        const auto view = north ? std::optional<WebMapPageView>(WebMapPageView{
                                      start.x(), start.y(), 15,
                                      QSizeF(OSMWebMapExportRenderer::baseMargin(QSizeF(200, 150)))})
                                : std::nullopt;
        auto composing = makeRenderer(probe, QSizeF(200, 150), c.ratio, {}, Kind::mapWidget, view);
        auto fresh = makeRenderer(std::make_shared<PageProbe>(), QSizeF(200, 150), c.ratio);
        fresh->setReusesCaptures(false);
        ASSERT_TRUE(becomeReady(*composing) && becomeReady(*fresh));
        ASSERT_TRUE(runInBackground([&] { return fresh->loadTrack(track, {12}, {}); }));
        if (north) {
            QList<TrackPoint> points(track.size());
            for (qsizetype k = 0; k < track.size(); ++k) {
                points[k].lng = track[k].x();
                points[k].lat = track[k].y();
            }
            TrackPoint centre;
            centre.lng = start.x();
            centre.lat = start.y();
            ASSERT_TRUE(runInBackground([&] {
                return composing->prepareForFrames(points, {12}, 15, std::chrono::seconds(60), {}, {},
                                                   QList<TrackPoint>{centre}, false);
            }));
        }
        WebMapCapturePool pool(composing.get());
        if (!north) {
            QList<TrackPoint> points(track.size());
            for (qsizetype k = 0; k < track.size(); ++k) {
                points[k].lng = track[k].x();
                points[k].lat = track[k].y();
            }
            ASSERT_TRUE(runInBackground([&] {
                return pool.prepareForFrames(points, {12}, 15, std::chrono::seconds(60), {}, {}, std::nullopt, true,
                                             2);
            }));
            ASSERT_EQ(pool.size(), 2);
        }
        double worst = 99;
        for (int i = 0; i < c.frames; ++i) {
            const auto [before, at] = position(i);
            const double lng = at.x();
            const double lat = at.y();
            // The turn changes at every frame, both ways.
            const double bearing = c.bearing + c.turnPerFrame * i * (i % 2 ? 1 : -0.5);
            OSMWebMapExportRenderer &page = north ? *composing : pool.page(i % pool.size());
            std::optional<QImage> images[2];
            ASSERT_TRUE(runInBackground([&] {
                images[0] = page.captureFrame(before + 1, lng, lat, lng, lat, bearing, 15, {});
                images[1] = fresh->captureFrame(before + 1, lng, lat, lng, lat, bearing, 15, {});
                return images[0] && images[1];
            }));
            ASSERT_EQ(images[0]->size(), images[1]->size());
            const double p = psnr(*images[0], *images[1]);
            EXPECT_GE(p, 40.0) << "frame " << i;
            if (p < worst) {
                worst = p;
                saveTestArtifact(*images[0], QStringLiteral("webmap-composed-%1").arg(QLatin1String(c.orientation)));
                saveTestArtifact(*images[1], QStringLiteral("webmap-fresh-%1").arg(QLatin1String(c.orientation)));
            }
        }
        EXPECT_LE(pageCaptures(*probe), c.maxCaptures);
        if (!north)
            EXPECT_GT(probe->pixelAnswers, 0) << "turned frames are read back as pixels";
        EXPECT_EQ(probe->bodies.filter(QStringLiteral("renderAndCapture")).size(), 0);
        EXPECT_EQ(probe->bodies.filter(QStringLiteral("updateTrack")).size(), 0) << "the program draws the track";
        composing->shutdown();
        fresh->shutdown();
    }
}
