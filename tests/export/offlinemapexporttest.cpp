// Exports with the map on while the map service fails: it refuses, takes
// connections and never answers, or has only some of the tiles. The export
// waits for the service once, not for every tile of every frame, and draws
// the map it has.
#include "exporttestutil.h"

#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "maps/tilecache.h"

#include "support/loopbackhttpserver.h"
#include "support/loopbackmapservice.h"
#include "support/testartifacts.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>

using namespace routereel;
using namespace exporttest;

namespace {

QUrl closedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

// Pixels of the map's square (40, 30, 100, 100) within `tolerance` of `colour`.
int mapPixelsNear(const QImage &frame, const QColor &colour, int tolerance = 12)
{
    int count = 0;
    for (int y = 30; y < 130; ++y)
        for (int x = 40; x < 140; ++x)
            count += near(frame.pixel(x, y), colour, tolerance);
    return count;
}

} // namespace

TEST(OfflineMapExport, AnUnreachableServiceIsWaitedForOnceAndTheMapStaysEmpty)
{
    enum class Service { refuses, neverAnswers };
    for (const Service service : {Service::refuses, Service::neverAnswers}) {
        SCOPED_TRACE(service == Service::refuses ? "refuses" : "never answers");
        QTemporaryDir dir;
        std::unique_ptr<testsupport::LoopbackHttpServer> silent;
        if (service == Service::neverAnswers) {
            silent = std::make_unique<testsupport::LoopbackHttpServer>([](const testsupport::HttpRequest &) {
                testsupport::HttpResponse response;
                response.noAnswer = true;
                return response;
            });
        }
        const MapServicesAt services(silent ? silent->baseUrl() : closedLoopbackPort());
        CachedExporter cached(dir.filePath(QStringLiteral("tiles")));
        VideoExporter &exporter = cached.exporter;
        const QString output = dir.filePath(QStringLiteral("offline.mp4"));
        QElapsedTimer timer;
        timer.start();
        // 60 frames, each needing several tiles: a wait per tile would take many minutes.
        ASSERT_TRUE(exportSucceeds(exporter, withOsmMap(overlayTask(output, 2))));
        EXPECT_LT(timer.elapsed(), 60'000);
        if (silent) {
            EXPECT_LE(silent->requestCount(), 8) << "asked again after the host did not answer";
        }

        const QImage frame = decodeFrame(output, 30);
        saveTestArtifact(frame, service == Service::refuses ? QStringLiteral("export-map-service-refuses")
                                                            : QStringLiteral("export-map-service-silent"));
        EXPECT_GT(mapPixelsNear(frame, QColor(237, 237, 237)), 5000) << "the map's empty background";
        EXPECT_TRUE(near(frame.pixel(250, 200), QColor(0, 100, 0))) << "the frame outside the map";
    }
}

TEST(OfflineMapExport, AFailedTileIsAskedForOnceNotPerFrame)
{
    // Tiles of even x exist; the others are missing.
    testsupport::LoopbackHttpServer server([](const testsupport::HttpRequest &request) {
        static const QRegularExpression tilePath(QStringLiteral("/(\\d+)/(\\d+)/(\\d+)@2x\\.png$"));
        const auto match = tilePath.match(QString::fromLatin1(request.target));
        testsupport::HttpResponse response;
        if (!match.hasMatch() || match.captured(2).toInt() % 2) {
            response.status = 404;
            return response;
        }
        response.contentType = "image/png";
        response.body = testsupport::solidTilePng(QColor(40, 60, 220));
        return response;
    });
    const MapServicesAt services(server.baseUrl());
    QTemporaryDir dir;
    CachedExporter cached(dir.filePath(QStringLiteral("tiles")));
    VideoExporter &exporter = cached.exporter;
    const QString output = dir.filePath(QStringLiteral("partial.mp4"));
    ExportTask task = withOsmMap(overlayTask(output, 2));
    task.mapReferenceSize = QSizeF(600, 600);  // a wide view: a dozen tiles
    ASSERT_TRUE(exportSucceeds(exporter, task));

    const QList<QByteArray> targets = server.requestedTargets();
    const QSet<QByteArray> distinct(targets.begin(), targets.end());
    ASSERT_GT(targets.size(), 1);
    EXPECT_EQ(targets.size(), distinct.size()) << "a tile asked for more than once";
    const QImage frame = decodeFrame(output, 30);
    saveTestArtifact(frame, QStringLiteral("export-map-some-tiles-missing"));
    EXPECT_GT(mapPixelsNear(frame, QColor(40, 60, 220), 30), 300) << "the tiles it has";
    EXPECT_GT(mapPixelsNear(frame, QColor(237, 237, 237)), 300) << "empty where tiles are missing";
}
