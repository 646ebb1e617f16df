// The export renderer's capture rules against a page double that answers like
// the MapLibre page (the real page is exercised in tests/views/webmap*).
#include "maps/osmwebmapexportrenderer.h"

#include "support/pngdataurl.h"
#include "support/waitfor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

using namespace routereel;

namespace {

QString pngDataUrl(QSize size)
{
    return testsupport::pngDataUrl(size, Qt::darkCyan);
}

struct PageLog {
    QStringList bodies;
    QList<WebMapPage::Arguments> args;
    std::function<std::optional<QVariant>(const QString &)> answer;
    bool answers = true;
    bool shutDown = false;
    std::function<void()> onReady;
};

class FakePage : public WebMapPage {
public:
    explicit FakePage(std::shared_ptr<PageLog> log) : m_log(std::move(log)) {}
    void call(const QString &body, const Arguments &args, Done done) override
    {
        m_log->bodies << body;
        m_log->args << args;
        if (!m_log->answers)
            return;
        auto value = m_log->answer(body);
        QTimer::singleShot(1, [done, value] { done(value); });
    }
    void evaluate(const QString &script, Done done) override { call(script, {}, std::move(done)); }
    void shutdown() override { m_log->shutDown = true; }

private:
    std::shared_ptr<PageLog> m_log;
};

using testsupport::runInBackground;

struct Fixture {
    std::shared_ptr<PageLog> log = std::make_shared<PageLog>();
    std::unique_ptr<OSMWebMapExportRenderer> renderer;

    explicit Fixture(QSizeF size = QSizeF(200, 100), double ratio = 2, QSize answered = QSize(400, 200))
    {
        log->answer = [answered](const QString &body) -> std::optional<QVariant> {
            if (body.contains(QLatin1String("renderAndCapture")) || body.contains(QLatin1String("captureStatic")))
                return QVariant(pngDataUrl(answered));
            return QVariant(QStringLiteral("ok"));
        };
        auto log = this->log;
        renderer = std::make_unique<OSMWebMapExportRenderer>(
            OSMWebMapExportRenderer::Kind::mapWidget, QStringLiteral("de"), size, ratio,
            [log](const WebMapPageRequest &request) {
                log->onReady = request.onReady;
                return std::make_unique<FakePage>(log);
            });
    }
    int calls(const QString &function) const { return log->bodies.filter(function).size(); }
    void answerAlways(std::optional<QVariant> value)
    {
        log->answer = [value](const QString &) { return value; };
    }
    bool loadTrack(const QList<QPointF> &coords, const QList<int> &breaks = {}, std::function<bool()> cancelled = {})
    {
        return runInBackground([&] { return renderer->loadTrack(coords, breaks, cancelled); });
    }
};

std::optional<QImage> capture(OSMWebMapExportRenderer &r, int idx, double lng = 13.4,
                              OSMWebMapExportRenderer::IsCancelled cancelled = {})
{
    return runInBackground([&] { return r.captureFrame(idx, lng, 52.5, lng, 52.5, 10, 15, cancelled); });
}

} // namespace

TEST(MapPageExportRenderer, capturesAreMemoisedPerParameters)
{
    Fixture f;
    const auto first = capture(*f.renderer, 3);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size(), QSize(400, 200));
    EXPECT_TRUE(capture(*f.renderer, 3).has_value());
    EXPECT_EQ(f.calls(QStringLiteral("renderAndCapture")), 1);
    EXPECT_TRUE(capture(*f.renderer, 3, 13.41).has_value());
    EXPECT_EQ(f.calls(QStringLiteral("renderAndCapture")), 2);

    const auto &args = f.log->args.last();
    QStringList names;
    for (const auto &a : args)
        names << a.first;
    EXPECT_EQ(names.join(','), QStringLiteral("idx,curLng,curLat,mapLng,mapLat,bearing,z"));
    EXPECT_EQ(args[0].second.toInt(), 3);
    EXPECT_DOUBLE_EQ(args[1].second.toDouble(), 13.41);
}

TEST(MapPageExportRenderer, capturesOffByMoreThanTwoPixelsAreFailedAttempts)
{
    struct Case {
        QSize answered;
        bool accepted;
        int pageCalls;
    };
    const Case cases[] = {
        {QSize(400, 200), true, 1}, {QSize(398, 200), true, 1}, {QSize(402, 198), true, 1},
        {QSize(397, 200), false, 2}, {QSize(400, 203), false, 2}, {QSize(200, 100), false, 2},
    };
    for (const Case &c : cases) {
        Fixture f(QSizeF(200, 100), 2, c.answered);
        EXPECT_EQ(capture(*f.renderer, 1).has_value(), c.accepted) << c.answered.width() << "x" << c.answered.height();
        EXPECT_EQ(f.calls(QStringLiteral("renderAndCapture")), c.pageCalls);
    }
}

TEST(MapPageExportRenderer, anOldFrameIsNeverReturnedForNewParameters)
{
    Fixture f;
    ASSERT_TRUE(capture(*f.renderer, 1).has_value());
    f.answerAlways(QVariant(QStringLiteral("ERR:map idle timeout")));
    EXPECT_FALSE(capture(*f.renderer, 2).has_value());
    f.answerAlways(std::nullopt);
    EXPECT_FALSE(capture(*f.renderer, 3).has_value());
}

TEST(MapPageExportRenderer, loadTrackSucceedsOnlyOnOk)
{
    Fixture f;
    ASSERT_TRUE(capture(*f.renderer, 1).has_value());
    for (const QVariant &answer : {QVariant(QStringLiteral("OK")), QVariant(QStringLiteral("ok ")), QVariant(1), QVariant()}) {
        f.answerAlways(answer.isValid() ? std::optional<QVariant>(answer) : std::nullopt);
        EXPECT_FALSE(f.loadTrack({QPointF(1, 2)})) << answer.toString().toStdString();
    }
    // The memo survived the failed loads.
    EXPECT_TRUE(capture(*f.renderer, 1).has_value());
    EXPECT_EQ(f.calls(QStringLiteral("renderAndCapture")), 1);

    f.answerAlways(QVariant(QStringLiteral("ok")));
    EXPECT_TRUE(f.loadTrack({QPointF(1, 2), QPointF(3, 4)}, {1}));
    const auto &args = f.log->args.last();
    EXPECT_EQ(args[0].second.toArray().size(), 2);
    EXPECT_EQ(args[2].second.toString(), QStringLiteral("de"));
    // A new track drops the memo.
    f.answerAlways(QVariant(pngDataUrl(QSize(400, 200))));
    EXPECT_TRUE(capture(*f.renderer, 1).has_value());
    EXPECT_EQ(f.calls(QStringLiteral("renderAndCapture")), 2);
}

TEST(MapPageExportRenderer, cancelledOrShutDownCallsNeverReachThePage)
{
    Fixture f;
    const auto cancelled = [] { return true; };
    EXPECT_FALSE(f.loadTrack({QPointF(1, 2)}, {}, cancelled));
    EXPECT_FALSE(capture(*f.renderer, 1, 13.4, cancelled).has_value());
    EXPECT_TRUE(f.log->bodies.isEmpty());

    f.renderer->shutdown();
    EXPECT_TRUE(f.log->shutDown);
    f.log->shutDown = false;
    f.renderer->shutdown();
    EXPECT_FALSE(f.log->shutDown) << "a second shutdown does nothing";
    EXPECT_FALSE(f.loadTrack({QPointF(1, 2)}));
    EXPECT_TRUE(f.log->bodies.isEmpty());
}

TEST(MapPageExportRenderer, cancellingEndsTheWaitForAPage)
{
    Fixture f;
    f.log->answers = false;
    std::atomic<bool> stop = false;
    QTimer::singleShot(300, [&] { stop = true; });
    QElapsedTimer clock;
    clock.start();
    QList<TrackPoint> points(2);
    points[1].lng = 5;  // far apart: two stops
    runInBackground([&] {
        f.renderer->warmUp(points, 15, {}, [&] { return stop.load(); });
        return true;
    });
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(f.calls(QStringLiteral("warmStep")), 1) << "no stop after the cancel";
}

TEST(MapPageExportRenderer, warmUpStopsAreHalfAViewApart)
{
    const QSizeF view(200, 100);  // threshold 100 px
    auto points = [](std::initializer_list<double> lngs) {
        QList<TrackPoint> out;
        for (double lng : lngs) {
            TrackPoint p;
            p.lat = 0;
            p.lng = lng;
            out.append(p);
        }
        return out;
    };
    // At zoom 10 one degree of longitude is 2^10 * 512 / 360 = 1456 px.
    const double pxPerDegree = 1024 * 512 / 360.0;
    const double step = 60 / pxPerDegree;
    EXPECT_TRUE(OSMWebMapExportRenderer::warmUpStops({}, 10, view).isEmpty());
    EXPECT_EQ(OSMWebMapExportRenderer::warmUpStops(points({7}), 10, view).size(), 1);
    // 0, 60, 120 (> 100 from 0: stop), 180, 240 (> 100 from 120: stop)
    const auto stops = OSMWebMapExportRenderer::warmUpStops(points({0, step, 2 * step, 3 * step, 4 * step}), 10, view);
    ASSERT_EQ(stops.size(), 3);
    EXPECT_DOUBLE_EQ(stops[1].x(), 2 * step);
    EXPECT_DOUBLE_EQ(stops[2].x(), 4 * step);
    // Latitude beyond the Mercator limit is clamped, not turned into infinity.
    QList<TrackPoint> polar = points({0, 0});
    polar[0].lat = 89.9;
    polar[1].lat = 90;
    EXPECT_EQ(OSMWebMapExportRenderer::warmUpStops(polar, 10, view).size(), 1);
}

TEST(MapPageExportRenderer, decodesOnlyPngDataUrls)
{
    EXPECT_TRUE(OSMWebMapExportRenderer::decodeCapture(QVariant(pngDataUrl(QSize(3, 4)))).has_value());
    for (const QVariant &v : {QVariant(QStringLiteral("ERR:map idle timeout")), QVariant(QStringLiteral("data:image/png;base64,")),
                              QVariant(QStringLiteral("garbage")), QVariant(QStringLiteral("base64,AAAA")), QVariant(42)})
        EXPECT_FALSE(OSMWebMapExportRenderer::decodeCapture(v).has_value()) << v.toString().toStdString();
    EXPECT_FALSE(OSMWebMapExportRenderer::decodeCapture(std::nullopt).has_value());
}

// GL's read-back: RGBA rows bottom up, then width and height.
TEST(MapPageExportRenderer, decodesPixelReadBacksUprightAndOnlyWhole)
{
    const auto readBack = [](quint32 width, quint32 height, const QByteArray &rows) {
        QByteArray bytes = rows;
        for (quint32 word : {width, height})
            for (int shift = 0; shift < 32; shift += 8)
                bytes.append(char((word >> shift) & 0xff));
        return QVariant(bytes);
    };
    // Bottom row red, then green; top row blue, then half-transparent white (premultiplied).
    const QByteArray rows = QByteArray::fromHex("ff0000ff00ff00ff" "0000ffff80808080");
    const auto image = OSMWebMapExportRenderer::decodePixels(readBack(2, 2, rows), QSizeF(2, 2));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(image->pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image->pixel(1, 0), qPremultiply(qRgba(255, 255, 255, 128)));
    EXPECT_EQ(image->pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(1, 1), qRgb(0, 255, 0));

    EXPECT_FALSE(OSMWebMapExportRenderer::decodePixels(readBack(2, 2, rows), QSizeF(5, 2)).has_value());
    EXPECT_FALSE(OSMWebMapExportRenderer::decodePixels(readBack(2, 3, rows), QSizeF(2, 3)).has_value());
    EXPECT_FALSE(OSMWebMapExportRenderer::decodePixels(readBack(0, 0, {}), QSizeF(0, 0)).has_value());
    EXPECT_FALSE(OSMWebMapExportRenderer::decodePixels(QVariant(QStringLiteral("wait")), QSizeF(2, 2)).has_value());
    EXPECT_FALSE(OSMWebMapExportRenderer::decodePixels(std::nullopt, QSizeF(2, 2)).has_value());
}

// A North-up map's first base: the page still loads its tiles, so it is read
// back raw once the page has drawn them, without a PNG; a page that never
// gets there is captured as a PNG, as before.
TEST(MapPageExportRenderer, aBaseStillLoadingIsReadBackOnceDrawn)
{
    for (const bool drawsInTime : {true, false}) {
        SCOPED_TRACE(drawsInTime);
        Fixture f(QSizeF(60, 40), 1);
        f.log->onReady();
        const QSize base(60 + 2 * 30, 40 + 2 * 30);  // the view with its margins
        QByteArray bytes(base.width() * base.height() * 4, char(0xff));
        for (int word : {base.width(), base.height()})
            for (int shift = 0; shift < 32; shift += 8)
                bytes.append(char((word >> shift) & 0xff));
        bool drawn = false;
        f.log->answer = [&](const QString &body) -> std::optional<QVariant> {
            if (body.contains(QLatin1String("canCaptureBase")))
                return QVariant(QStringLiteral("yes,yes"));
            if (body.startsWith(QLatin1String("captureBasePixels")))
                return drawn ? QVariant(bytes) : QVariant(QStringLiteral("wait"));
            if (body.contains(QLatin1String("waitForExportIdle"))) {
                drawn = drawsInTime;
                return QVariant(drawsInTime ? QStringLiteral("ok") : QStringLiteral("ERR:map idle timeout"));
            }
            if (body.contains(QLatin1String("captureBase(")))
                return QVariant(testsupport::pngDataUrl(base, Qt::darkCyan));
            return QVariant(QStringLiteral("ok"));
        };
        QList<TrackPoint> points(2);
        points[0].lng = points[1].lng = 13.4;
        points[0].lat = points[1].lat = 52.5;
        ASSERT_TRUE(runInBackground([&] {
            return f.renderer->prepareForFrames(points, {}, 15, std::chrono::seconds(5), {}, {}, points, false);
        }));
        const auto frame = runInBackground([&] { return f.renderer->captureFrame(0, 13.4, 52.5, 13.4, 52.5, 0, 15, {}); });
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->pixel(1, 1), drawsInTime ? qRgb(255, 255, 255) : QColor(Qt::darkCyan).rgb());
        EXPECT_EQ(f.calls(QStringLiteral("captureBase(")), drawsInTime ? 0 : 1);
        EXPECT_EQ(f.calls(QStringLiteral("captureBasePixels")), drawsInTime ? 2 : 1);
    }
}

TEST(MapPageExportRenderer, prepareGivesUpWhenThePageIsNotReadyInTime)
{
    Fixture f;
    QList<TrackPoint> points(3);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(runInBackground([&] {
        return f.renderer->prepareForFrames(points, {}, 15, std::chrono::milliseconds(300), {}, {});
    }));
    EXPECT_GE(clock.elapsed(), 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.renderer->didShutdown());
    EXPECT_TRUE(f.log->shutDown);
    EXPECT_TRUE(f.log->bodies.isEmpty());

    Fixture ready;
    ready.log->onReady();
    std::vector<double> progress;
    EXPECT_TRUE(runInBackground([&] {
        return ready.renderer->prepareForFrames(points, {}, 15, std::chrono::milliseconds(300),
                                                [&](double p) { progress.push_back(p); }, {});
    }));
    EXPECT_EQ(ready.calls(QStringLiteral("updateTrack")), 1);
    EXPECT_EQ(ready.calls(QStringLiteral("warmStep")), 1);
    EXPECT_EQ(progress, std::vector<double>{1.0});
    EXPECT_FALSE(ready.renderer->didShutdown());
}

TEST(MapPageExportRenderer, framesWithoutPositionGetNoMapAndAreNoFailure)
{
    using Status = OSMWebMapExportRenderer::ExportFrame::Status;
    Fixture f;
    const auto frame = [&](std::optional<OSMWebMapExportRenderer::FramePosition> at) {
        return runInBackground([&] { return f.renderer->exportFrame(at, 15, {}); });
    };
    const auto none = frame(std::nullopt);
    EXPECT_EQ(none.status, Status::noPosition);
    EXPECT_FALSE(none.image.has_value());
    EXPECT_TRUE(f.log->bodies.isEmpty()) << "nothing is drawn at (0, 0)";

    const auto captured = frame({{4, 13.4, 52.5, 13.4, 52.5, 0}});
    EXPECT_EQ(captured.status, Status::captured);
    ASSERT_TRUE(captured.image.has_value());

    f.answerAlways(QVariant(QStringLiteral("ERR:map idle timeout")));
    const auto failed = frame({{5, 13.5, 52.5, 13.5, 52.5, 0}});
    EXPECT_EQ(failed.status, Status::failed);
}
