// An export whose OSM map is drawn by the real MapLibre page, from the loopback map service.
#include "webmapfixture.h"

#include "../export/exporttestutil.h"

#include "export/videoexporter.h"
#include "maps/views/webmapexportpage.h"
#include "maps/webmapcapturepool.h"
#include "support/clipgenerator.h"
#include "support/testartifacts.h"

#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QWebEnginePage>

#include <gtest/gtest.h>

using namespace routereel;
using namespace exporttest;

TEST(WebMapVideoExport, theMapIsDrawnByThePageAndMovesWithTheTrack)
{
    REQUIRE_WEBGL();
    webmaptest::ServiceScope service;
    QTemporaryDir dir;
    const QColor grey(128, 128, 128);
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("grey.mp4"), {2.0, 320, 240, 30, false, grey});
    const VideoSource source = sourceFor(clip);
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = regularTask(output, {source}, {cut(source, 0, 2, 0)});
    // About 45 map pixels a second eastwards at zoom 15.
    GPXTrack track = makeTrack(2);
    for (qsizetype i = 0; i < track.trackPoints.size(); ++i)
        track.trackPoints[i].lng = 8.54 + 0.0012 * double(i);
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.mapEnabled = true;
    task.mapShape = MapShape::roundedRect;
    task.cornerRadius = 0;
    task.mapSize = QSizeF(120, 120);
    task.mapReferenceSize = QSizeF(120, 120);
    task.overlayX = 20;
    task.overlayY = 20;
    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));
    EXPECT_EQ(exporter.lastRunStats().mapRenderer.toStdString(), "web");

    const QImage early = decodeFrame(output, 3);
    const QImage late = decodeFrame(output, 45);
    saveTestArtifact(late, QStringLiteral("export-webmap-real-page"));
    const QRect map(30, 30, 100, 100);  // inside the map, off its border
    int mapPixels = 0;
    int moved = 0;
    for (int y = map.top(); y <= map.bottom(); ++y) {
        for (int x = map.left(); x <= map.right(); ++x) {
            mapPixels += near(late.pixel(x, y), grey, 12) ? 0 : 1;
            const QRgb a = early.pixel(x, y);
            const QRgb b = late.pixel(x, y);
            moved += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 60;
        }
    }
    EXPECT_GT(mapPixels, map.width() * map.height() * 9 / 10) << "the map covers its place";
    EXPECT_GT(moved, map.width() * map.height() / 20) << "the map follows the position";
    EXPECT_TRUE(near(late.pixel(250, 200), grey)) << "the video outside the map";
}

// A map that turns at every frame is captured on several pages at once, each
// in a renderer process of its own.
TEST(WebMapVideoExport, aTurningMapIsCapturedOnSeveralPagesInTheirOwnProcesses)
{
    REQUIRE_WEBGL();
    webmaptest::ServiceScope service;
    const auto pids = std::make_shared<QList<qint64>>();
    int pages = 0;
    const WebMapPageFactory before = webMapPageFactory();
    const auto restore = qScopeGuard([&] { setWebMapPageFactory(before); });
    setWebMapPageFactory([&, pids](const WebMapPageRequest &request) -> std::unique_ptr<WebMapPage> {
        if (request.kind != WebMapPageKind::mapWidget)
            return std::make_unique<WebMapExportPage>(request);
        ++pages;
        // Which process drew the page, asked when it is ready.
        auto view = std::make_shared<QPointer<QWebEngineView>>();
        WebMapPageRequest counted = request;
        counted.onReady = [pids, view, onReady = request.onReady] {
            if (*view)
                pids->append((*view)->page()->renderProcessPid());
            onReady();
        };
        auto page = std::make_unique<WebMapExportPage>(counted);
        *view = page->view();
        return page;
    });
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("grey.mp4"),
                                               {1.0, 320, 240, 30, false, QColor(128, 128, 128)});
    const VideoSource source = sourceFor(clip);
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = regularTask(output, {source}, {cut(source, 0, 1, 0)});
    // A zigzag: the heading changes at every frame.
    GPXTrack track = makeTrack(2);
    for (qsizetype i = 0; i < track.trackPoints.size(); ++i) {
        track.trackPoints[i].lng = 8.54 + 0.0006 * double(i);
        track.trackPoints[i].lat = 47.37 + (i % 2 ? 0.0003 : 0.0);
    }
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.mapEnabled = true;
    task.orientation = MapOrientation::follow;
    task.mapSize = QSizeF(120, 120);
    task.mapReferenceSize = QSizeF(120, 120);
    VideoExporter exporter;
    ASSERT_TRUE(exportSucceeds(exporter, task));
    const VideoExporter::RunStats stats = exporter.lastRunStats();
    EXPECT_EQ(stats.mapRenderer.toStdString(), "web");
    EXPECT_EQ(stats.frames, 30);
    const int expected = WebMapCapturePool::pageCount(true, QThread::idealThreadCount());
    EXPECT_EQ(pages, expected);
    QSet<qint64> processes(pids->begin(), pids->end());
    processes.remove(0);
    EXPECT_EQ(processes.size(), expected) << "one renderer process a page";
    EXPECT_GE(stats.mapCaptures, 20) << "the map turned at nearly every frame";
}
