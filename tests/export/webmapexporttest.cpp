// Exports whose OSM map comes from a web map page, with a page double that
// answers like the MapLibre page.
#include "exporttestutil.h"

#include "export/exportrun.h"
#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"
#include "maps/webmapcapturepool.h"
#include "maps/webmappage.h"

#include "support/childprocesses.h"
#include "support/clipgenerator.h"
#include "support/loopbackmapservice.h"
#include "support/pngdataurl.h"
#include "support/testartifacts.h"

#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>

using namespace routereel;
using namespace exporttest;
using testsupport::pngDataUrl;

namespace {

struct Pages {
    std::atomic<int> captures{0};
    std::atomic<int> statics{0};
    std::atomic<int> shutdowns{0};
    std::atomic<int> warmSteps{0};
    std::atomic<bool> warmStepsHang{false};
    std::atomic<bool> capturesHang{false};
    QString trackAnswer = QStringLiteral("ok");
    QString askAnswer = QStringLiteral("no,no");  // can the page draw the map alone?
    std::atomic<int> bases{0};
    QString frameAnswer;
    QString staticAnswer;
    QList<WebMapPageRequest> requests;
};

class FakePage : public WebMapPage {
public:
    FakePage(std::shared_ptr<Pages> pages) : m_pages(std::move(pages)) {}
    void call(const QString &body, const Arguments &, Done done) override
    {
        QVariant value(QStringLiteral("ok"));
        if (body.contains(QLatin1String("renderAndCapture"))) {
            ++m_pages->captures;
            if (m_pages->capturesHang)
                return;  // a page that stopped answering
            value = m_pages->frameAnswer;
        } else if (body.contains(QLatin1String("captureStatic"))) {
            ++m_pages->statics;
            value = m_pages->staticAnswer;
        } else if (body.contains(QLatin1String("warmStep"))) {
            ++m_pages->warmSteps;
            if (m_pages->warmStepsHang)
                return;  // a page that stopped answering
        } else if (body.contains(QLatin1String("updateTrack"))) {
            value = m_pages->trackAnswer;
        } else if (body.contains(QLatin1String("canCaptureBase"))) {
            value = m_pages->askAnswer;
        } else if (body.contains(QLatin1String("captureBase"))) {
            ++m_pages->bases;
            value = QStringLiteral("ERR:map idle timeout");
        }
        QTimer::singleShot(0, [done, value] { done(value); });
    }
    // A page that cannot answer directly: every capture takes the channel.
    void evaluate(const QString &, Done done) override
    {
        QTimer::singleShot(0, [done] { done(std::nullopt); });
    }
    void shutdown() override { ++m_pages->shutdowns; }

private:
    std::shared_ptr<Pages> m_pages;
};

// Registers the page double for one test.
struct WebMaps {
    explicit WebMaps(QSize frameSize)
    {
        pages->frameAnswer = pngDataUrl(frameSize, Qt::cyan);
        pages->staticAnswer = pngDataUrl(QSize(200, 200), Qt::yellow);
        auto shared = pages;
        setWebMapPageFactory([shared](const WebMapPageRequest &request) {
            shared->requests.append(request);
            request.onReady();
            return std::make_unique<FakePage>(shared);
        });
    }
    ~WebMaps() { setWebMapPageFactory({}); }
    std::shared_ptr<Pages> pages = std::make_shared<Pages>();
};

ExportTask withMap(ExportTask task)
{
    task.mapEnabled = true;
    task.mapSize = QSizeF(100, 100);
    task.mapReferenceSize = QSizeF(50, 50);  // captured at twice the reference size
    task.overlayX = 40;
    task.overlayY = 30;
    return task;
}

// ffmpeg has started and waits for its first frame: a SIGTERM alone no longer ends it.
bool ffmpegWaitsForFrames()
{
    const QList<qint64> ffmpeg = testsupport::ffmpegChildren(QCoreApplication::applicationPid());
    return !ffmpeg.isEmpty() && testsupport::waitsOnItsInput(ffmpeg.first());
}

// A cancel ends the export without waiting out the grace ffmpeg gets to end by itself.
constexpr int cancelBound = int(std::chrono::milliseconds(ExportRun::stopGrace).count() * 2 / 3);

} // namespace

TEST(WebMapExport, MapFramesAndPathBackgroundComeFromThePage)
{
    WebMaps web(QSize(100, 100));
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("web.mp4"));
    ExportTask task = withMap(overlayTask(output, 1));
    task.gpsPathWidget.enabled = true;
    task.gpsPathWidget.showMap = true;
    task.gpsPathWidget.pixelSize = 100;
    task.gpsPathWidget.referenceSize = 100;
    task.gpsPathWidget.centerX = 250;
    task.gpsPathWidget.centerY = 170;
    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));

    EXPECT_GT(web.pages->captures.load(), 0);
    EXPECT_EQ(web.pages->statics.load(), 1);
    EXPECT_EQ(web.pages->shutdowns.load(), 2);
    // The pages open where they are first captured: the first frame's map with
    // room to move in, and the whole path.
    ASSERT_EQ(web.pages->requests.size(), 2);
    const auto mapView = web.pages->requests[0].initialView;
    const auto pathView = web.pages->requests[1].initialView;
    ASSERT_TRUE(mapView && pathView);
    const TrackPoint &first = task.tracks.first().trackPoints.first();
    EXPECT_NEAR(mapView->lng, first.lng, 1e-9);
    EXPECT_NEAR(mapView->lat, first.lat, 1e-9);
    EXPECT_EQ(mapView->zoom, task.zoomLevel);
    EXPECT_EQ(mapView->margin, QSizeF(25, 25));
    EXPECT_GT(pathView->zoom, 1);
    EXPECT_EQ(pathView->margin, QSizeF(0, 0));
    const QImage frame = decodeFrame(output, 15);
    saveTestArtifact(frame, QStringLiteral("export-webmap"));
    EXPECT_TRUE(near(frame.pixel(60, 80), Qt::cyan)) << Qt::hex << frame.pixel(60, 80);
    EXPECT_TRUE(near(frame.pixel(42, 32), QColor(0, 100, 0))) << "the capture is clipped to the circle";
    EXPECT_TRUE(near(frame.pixel(230, 170), Qt::yellow)) << Qt::hex << frame.pixel(230, 170);
}

TEST(WebMapExport, FramesOffTheTrackGetNoMapAndDoNotFail)
{
    WebMaps web(QSize(100, 100));
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("grey.mp4"),
                                               {1.0, 320, 240, 30, false, QColor(128, 128, 128)});
    const VideoSource source = sourceFor(clip);
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = withMap(regularTask(output, {source}, {cut(source, 0, 1, 0)}));
    task.tracks = {makeTrack(1)};  // loaded, but not placed on the timeline
    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));
    EXPECT_EQ(web.pages->captures.load(), 0);
    const QImage frame = decodeFrame(output, 5);
    EXPECT_TRUE(near(frame.pixel(60, 80), QColor(128, 128, 128)));
    EXPECT_TRUE(near(frame.pixel(5, 5), QColor(128, 128, 128)));
}

TEST(WebMapExport, ALostCaptureFailsTheRun)
{
    WebMaps web(QSize(100, 100));
    web.pages->frameAnswer = QStringLiteral("ERR:idle timeout");
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    VideoExporter exporter;
    const auto result = runExport(exporter, withMap(overlayTask(output, 1)));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->message(), QStringLiteral("Failed to render overlay frames"));
    EXPECT_FALSE(QFile::exists(output));
    EXPECT_EQ(web.pages->shutdowns.load(), 1);
}

// A long track of which the export shows one second: the warm-up visits the
// views of that second, not the whole route.
TEST(WebMapExport, WarmUpVisitsOnlyTheViewsOfTheExportedFrames)
{
    WebMaps web(QSize(100, 100));
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = withMap(overlayTask(output, 1));
    // Each point about two views east of the last at zoom 15.
    GPXTrack track = makeTrack(3000);
    for (qsizetype i = 0; i < track.trackPoints.size(); ++i)
        track.trackPoints[i].lng = 8.54 + 0.0015 * double(i);
    task.tracks = {track};
    GPXSegment segment = wholeTrack(track);
    segment.gpxEnd = 1;
    task.segments = {segment};
    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));
    EXPECT_GE(web.pages->warmSteps.load(), 2);
    EXPECT_LE(web.pages->warmSteps.load(), 40) << "not the " << track.trackPoints.size() << " stops of the whole route";
}

// The warm-up runs while ffmpeg starts: a page that fails it (or, for a page
// that draws the map alone, its first capture) still leaves the export to the
// raster tiles, and one that stops answering is left by a cancel.
TEST(WebMapExport, AFailedOrStalledWarmUpNeitherFailsNorHoldsTheExport)
{
    QTemporaryDir dir;
    for (const bool drawsMapAlone : {false, true}) {
        SCOPED_TRACE(drawsMapAlone ? "first capture fails" : "track fails");
        WebMaps web(QSize(100, 100));
        if (drawsMapAlone)
            web.pages->askAnswer = QStringLiteral("yes,yes");
        else
            web.pages->trackAnswer = QStringLiteral("ERR:no track");
        const auto tiles = testsupport::startMapService();
        const MapServicesAt services(tiles->baseUrl());
        CachedExporter cached(dir.filePath(QStringLiteral("tiles")));
        VideoExporter &exporter = cached.exporter;
        ASSERT_TRUE(exportSucceeds(exporter, withMap(overlayTask(dir.filePath(QStringLiteral("raster.mp4")), 1))));
        EXPECT_EQ(exporter.lastRunStats().mapRenderer.toStdString(), "raster");
        EXPECT_EQ(web.pages->captures.load(), 0) << "the frames come from the raster tiles";
        EXPECT_EQ(web.pages->bases.load(), drawsMapAlone ? 2 : 0) << "the first capture, in two attempts";
    }
    WebMaps web(QSize(100, 100));
    web.pages->warmStepsHang = true;
    const QString output = dir.filePath(QStringLiteral("stalled.mp4"));
    VideoExporter exporter;
    std::optional<ExportResult> result;
    exporter.exportTask(withMap(overlayTask(output, 1)), [&result](const ExportResult &r) { result = r; });
    ASSERT_TRUE(waitFor([&] { return web.pages->warmSteps.load() > 0 && ffmpegWaitsForFrames(); }, 30000));
    exporter.cancel();
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, cancelBound));
    EXPECT_EQ(result->message(), QStringLiteral("Export cancelled"));
    EXPECT_FALSE(QFile::exists(output));
    EXPECT_EQ(web.pages->captures.load(), 0);
}

// A turning map is captured on two pages: both fall back to raster tiles when
// the first fails, and a cancel while they capture ends the export at once.
TEST(WebMapExport, TheCapturePagesOfATurningMapFallBackAndCancelTogether)
{
    QTemporaryDir dir;
    {
        WebMaps web(QSize(100, 100));
        web.pages->trackAnswer = QStringLiteral("ERR:no track");
        ExportTask task = withMap(overlayTask(dir.filePath(QStringLiteral("raster.mp4")), 1));
        task.orientation = MapOrientation::follow;
        VideoExporter exporter;
        ASSERT_TRUE(exportSucceeds(exporter, task));
        EXPECT_EQ(exporter.lastRunStats().mapRenderer.toStdString(), "raster");
        EXPECT_EQ(web.pages->requests.size(), WebMapCapturePool::pageCount(true, QThread::idealThreadCount()));
        EXPECT_EQ(web.pages->shutdowns.load(), web.pages->requests.size()) << "every page is closed";
    }
    WebMaps web(QSize(100, 100));
    web.pages->capturesHang = true;
    const QString output = dir.filePath(QStringLiteral("cancelled.mp4"));
    ExportTask task = withMap(overlayTask(output, 1));
    task.orientation = MapOrientation::follow;
    VideoExporter exporter;
    std::optional<ExportResult> result;
    exporter.exportTask(task, [&result](const ExportResult &r) { result = r; });
    ASSERT_TRUE(waitFor([&] { return web.pages->captures.load() >= 2 && ffmpegWaitsForFrames(); }, 30000))
        << "both pages capture at once";
    exporter.cancel();
    // Well inside the 5 s a capture may take.
    ASSERT_TRUE(waitFor([&] { return result.has_value(); }, cancelBound));
    EXPECT_EQ(result->message(), QStringLiteral("Export cancelled"));
    EXPECT_FALSE(QFile::exists(output));
}
