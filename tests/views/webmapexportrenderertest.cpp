#include "webmapfixture.h"

#include "maps/mapservices.h"
#include "maps/osmwebmapexportrenderer.h"

#include <gtest/gtest.h>

using namespace routereel;
using namespace webmaptest;

namespace {

QList<QPointF> loopTrack(int n)
{
    QList<QPointF> coords;
    for (int i = 0; i < n; ++i)
        coords.append(QPointF(13.40 + 0.002 * i, 52.52 + 0.001 * std::sin(i / 5.0)));
    return coords;
}

} // namespace

TEST(WebMapExportRenderer, capturesFramesOfTheRequestedSize)
{
    auto service = startMapService();
    MapServices::overrideEndpointsForTesting(service->baseUrl());
    OSMWebMapExportRenderer renderer(OSMWebMapExportRenderer::Kind::mapWidget, QStringLiteral("en"), QSizeF(400, 300), 1);
    const QList<QPointF> track = loopTrack(40);
    const bool ready = runInBackground<bool>([&] { return renderer.waitUntilReady(std::chrono::seconds(60), {}); });
    ASSERT_TRUE(ready);
    ASSERT_TRUE(runInBackground<bool>([&] { return renderer.loadTrack(track, {20}, {}); }));
    const auto image = runInBackground<std::optional<QImage>>([&] {
        return renderer.captureFrame(10, track[10].x(), track[10].y(), track[10].x(), track[10].y(), 30, 15, {});
    });
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(400, 300));
    image->save(artefactPath(QStringLiteral("webmap-export-frame.png")));
    renderer.shutdown();
    MapServices::overrideEndpointsForTesting({});
}
