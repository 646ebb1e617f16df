// The window's exporter (real MapLibre pages, the shared tile cache) with the
// map on and no reachable map service: the page says at once that it cannot
// draw the map, the export draws raster tiles instead and waits for the
// service once, not per frame.
#include "webmapfixture.h"

#include "../export/exporttestutil.h"

#include "export/videoexporter.h"
#include "maps/mappages.h"
#include "maps/mapservices.h"
#include "support/loopbackhttpserver.h"
#include "support/testartifacts.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <mutex>

using namespace routereel;
using namespace exporttest;

namespace {

// Collects the log lines written while it lives, from any thread.
class LogLines {
public:
    LogLines() { s_previous = qInstallMessageHandler(&LogLines::handle); }
    ~LogLines() { qInstallMessageHandler(s_previous); }
    static bool contains(const QString &part)
    {
        std::lock_guard guard(s_lock);
        return std::any_of(s_lines.begin(), s_lines.end(), [&](const QString &l) { return l.contains(part); });
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        {
            std::lock_guard guard(s_lock);
            s_lines << text;
        }
        if (s_previous)
            s_previous(type, context, text);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline std::mutex s_lock;
    static inline QStringList s_lines;
};

} // namespace

TEST(OfflineWebMapExport, anUnreachableMapServiceFallsBackToRasterTilesAtOnce)
{
    REQUIRE_WEBGL();
    enum class Service { refuses, neverAnswers };
    for (const Service service : {Service::refuses, Service::neverAnswers}) {
        SCOPED_TRACE(service == Service::refuses ? "refuses" : "never answers");
        std::unique_ptr<testsupport::LoopbackHttpServer> silent;
        QUrl address;
        if (service == Service::neverAnswers) {
            silent = std::make_unique<testsupport::LoopbackHttpServer>([](const testsupport::HttpRequest &) {
                testsupport::HttpResponse response;
                response.noAnswer = true;
                return response;
            });
            address = silent->baseUrl();
        } else {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            address = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
        }
        MapServices::overrideEndpointsForTesting(address);
        const auto restore = qScopeGuard([] { MapServices::overrideEndpointsForTesting({}); });
        LogLines log;
        QTemporaryDir dir;
        const QString output = dir.filePath(QStringLiteral("offline.mp4"));
        ExportTask task = withOsmMap(overlayTask(output, 2));
        VideoExporter exporter;  // as the window makes it: its web pages and the shared tile cache
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(exportSucceeds(exporter, task));
        // The page's own word, not the 30 s the exporter gives a page to start.
        EXPECT_TRUE(log.contains(QStringLiteral("[OSMWebMapExportRenderer] page cannot draw the map")));
        EXPECT_EQ(exporter.lastRunStats().mapRenderer.toStdString(), "raster");
        EXPECT_LT(timer.elapsed(), 25'000);
        if (silent) {
            EXPECT_LE(silent->requestCount(), 10) << "the style, then one round of tiles";
        }

        const QImage frame = decodeFrame(output, 30);
        saveTestArtifact(frame, QStringLiteral("export-webmap-offline"));
        EXPECT_TRUE(near(frame.pixel(90, 50), QColor(237, 237, 237), 12)) << "the map, empty: " << Qt::hex
                                                                         << frame.pixel(90, 50);
        EXPECT_TRUE(near(frame.pixel(250, 200), QColor(0, 100, 0))) << "the frame outside the map";
    }
}

// A service that takes connections and never answers: the page of a map and
// the raster tiles that would replace it are waited for at once and by one
// deadline, not one after the other, so the frames begin after one wait.
TEST(OfflineWebMapExport, aSilentMapServiceHoldsTheFramesBackForOneWaitOnly)
{
    REQUIRE_WEBGL();
    struct Case {
        const char *widget;
        bool map, path;
    };
    for (const Case &c : {Case{"map", true, false}, Case{"GPS path", false, true}}) {
        SCOPED_TRACE(c.widget);
        testsupport::LoopbackHttpServer silent([](const testsupport::HttpRequest &) {
            testsupport::HttpResponse response;
            response.noAnswer = true;
            return response;
        });
        const MapServicesAt services(silent.baseUrl());
        QTemporaryDir dir;
        CachedExporter cached(dir.filePath(QStringLiteral("tiles")));  // knows nothing of the service yet
        ExportTask task = overlayTask(dir.filePath(QStringLiteral("silent.mp4")), 1);
        if (c.map)
            task = withOsmMap(task);
        task.gpsPathWidget.enabled = c.path;
        task.gpsPathWidget.showMap = c.path;
        task.gpsPathWidget.pixelSize = 100;
        task.gpsPathWidget.referenceSize = 100;
        task.gpsPathWidget.centerX = 250;
        task.gpsPathWidget.centerY = 170;
        VideoExporter &exporter = cached.exporter;
        // Progress reaches 0.05 when the maps are settled and the frames begin.
        QElapsedTimer sinceStart;
        qint64 framesBegan = -1;
        QObject::connect(&exporter, &VideoExporter::progressChanged, [&] {
            if (framesBegan < 0 && exporter.progress() >= 0.05)
                framesBegan = sinceStart.elapsed();
        });
        sinceStart.start();
        ASSERT_TRUE(exportSucceeds(exporter, task));
        const VideoExporter::RunStats stats = exporter.lastRunStats();
        EXPECT_EQ((c.map ? stats.mapRenderer : stats.pathMapRenderer).toStdString(), "raster");
        EXPECT_GE(framesBegan, 0);
        // A second wait would end at least a whole deadline after the first; what
        // follows the deadline takes as long as a busy machine makes it.
        const qint64 deadline = MapPages::exportLoadTimeout().count();
        std::cout << "[ silent service ] frames began " << framesBegan << " ms after the start\n";
        EXPECT_LT(framesBegan, 2 * deadline);
    }
}
