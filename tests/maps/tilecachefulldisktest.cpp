#include "maps/tilecache.h"
#include "support/fulldisk.h"
#include "tiletestserver.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::FullDisk;

TEST(TileCacheFullDisk, NoTileIsStoredHalfWritten)
{
    if (FullDisk::runTestInChild())
        return;
    FullDisk disk;
    ASSERT_TRUE(disk.isReady()) << disk.error().toStdString();
    TileTestServer server;
    TileCache::Options options;
    options.root = disk.path() + QStringLiteral("/tiles");
    const auto osm = [](TileCache &cache, int x) { return cache.tile(MapProvider::openStreetMap, 16, x, 22000, {}, {}); };
    TileCache cache(options);
    const auto file = [&](int x) { return cache.tileFilePath(MapProvider::openStreetMap, 16, x, 22000, {}); };
    ASSERT_FALSE(osm(cache, 34000).isNull());
    const qint64 tileBytes = QFileInfo(file(34000)).size();
    ASSERT_GT(tileBytes, 0);
    const QList<qint64> frees{0, tileBytes - 1};
    for (int i = 0; i < frees.size(); ++i) {
        SCOPED_TRACE(frees[i]);
        ASSERT_TRUE(disk.leaveFree(frees[i]));
        // Still drawn from the download, only not kept.
        const QImage image = osm(cache, 34001 + i);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.pixel(100, 40), TileTestServer::tileColor(16, 34001 + i, 22000).rgb());
        EXPECT_FALSE(QFileInfo::exists(file(34001 + i)));
    }
    // Every file in the cache is a whole tile; no temporary file is left.
    for (QDirIterator it(options.root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        EXPECT_TRUE(path.endsWith(QStringLiteral("@2x.png"))) << path.toStdString();
        EXPECT_FALSE(QImage(path).isNull()) << path.toStdString();
    }

    // A cache started later fetches the missing tiles again and stores them whole.
    ASSERT_TRUE(disk.leaveFree(qint64(1) << 30));
    const int requests = server.requestCount();
    TileCache later(options);
    for (int x = 34000; x <= 34000 + frees.size(); ++x) {
        EXPECT_EQ(osm(later, x).pixel(100, 40), TileTestServer::tileColor(16, x, 22000).rgb());
        EXPECT_FALSE(QImage(file(x)).isNull());
    }
    EXPECT_EQ(server.requestCount(), requests + frees.size());
}
