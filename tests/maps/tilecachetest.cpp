#include "maps/tilecache.h"
#include "tiletestserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace routereel;
using Mode = TileTestServer::Mode;

namespace {

TileCache::Options deadline(std::chrono::milliseconds d)
{
    TileCache::Options o;
    o.fetchDeadline = d;
    return o;
}

QImage osm(TileCache &cache, int z, int x, int y, TileCache::CancelCheck cancelled = {})
{
    return cache.tile(MapProvider::openStreetMap, z, x, y, {}, {}, cancelled);
}

QString osmFile(const TileCache &cache, int z, int x, int y)
{
    return cache.tileFilePath(MapProvider::openStreetMap, z, x, y, {});
}

// Writes `bytes` to `path`, making its folders, dated `modified` when given.
bool writeFile(const QString &path, const QByteArray &bytes, const QDateTime &modified = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return false;
    return !modified.isValid() || file.setFileTime(modified, QFileDevice::FileModificationTime);
}

} // namespace

TEST(TileCache, RepeatedLookupIsServedFromMemoryUntilCleared)
{
    LoopbackTiles l;
    const QImage first = osm(l.cache, 16, 34000, 22000);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(first.pixel(100, 40), TileTestServer::tileColor(16, 34000, 22000).rgb());
    EXPECT_EQ(l.server.requestedTargets(), QList<QByteArray>{"/rastertiles/voyager/16/34000/22000@2x.png"});
    EXPECT_TRUE(l.server.lastUserAgent().startsWith("routereel/dev ("));
    const QString file = osmFile(l.cache, 16, 34000, 22000);
    EXPECT_EQ(file, l.dir.path() + QStringLiteral("/tiles/OSM/16/34000/22000@2x.png"));
    EXPECT_FALSE(QImage(file).isNull());

    EXPECT_EQ(osm(l.cache, 16, 34000, 22000), first);
    EXPECT_EQ(l.server.requestCount(), 1);

    // A new process finds the tile on disk.
    {
        TileCache second(l.withRoot({}));
        EXPECT_FALSE(osm(second, 16, 34000, 22000).isNull());
        EXPECT_EQ(l.server.requestCount(), 1);
    }

    l.cache.clear();
    EXPECT_FALSE(QFileInfo::exists(l.cache.rootPath()));
    EXPECT_EQ(l.cache.memoryCount(), 0);
    EXPECT_FALSE(osm(l.cache, 16, 34000, 22000).isNull());
    EXPECT_EQ(l.server.requestCount(), 2);
}

TEST(TileCache, FailedDownloadsStoreNothing)
{
    for (const Mode mode : {Mode::notFound, Mode::serverError, Mode::corrupt}) {
        TileCache::Options options;
        options.failedTileRetention = std::chrono::milliseconds(300);
        LoopbackTiles l(options);
        l.server.setMode(mode);
        EXPECT_TRUE(osm(l.cache, 3, 2, 1).isNull());
        EXPECT_EQ(l.server.requestCount(), 1);
        EXPECT_FALSE(QFileInfo::exists(osmFile(l.cache, 3, 2, 1)));
        EXPECT_EQ(l.cache.memoryCount(), 0);
        // The failure is remembered for a while (each frame of an export would ask
        // again), then the tile is asked for again and comes once the server has it.
        l.server.setMode(Mode::tiles);
        EXPECT_TRUE(osm(l.cache, 3, 2, 1).isNull());
        EXPECT_EQ(l.server.requestCount(), 1);
        QThread::msleep(350);
        EXPECT_FALSE(osm(l.cache, 3, 2, 1).isNull());
        EXPECT_EQ(l.server.requestCount(), 2);
    }
}

TEST(TileCache, CorruptFileOnDiskIsFetchedAgain)
{
    LoopbackTiles l;
    const QString file = osmFile(l.cache, 5, 7, 9);
    ASSERT_TRUE(writeFile(file, "\x89PNG garbage"));
    EXPECT_FALSE(osm(l.cache, 5, 7, 9).isNull());
    EXPECT_EQ(l.server.requestCount(), 1);
    EXPECT_FALSE(QImage(file).isNull());
}

TEST(TileCache, ZoomAndTileRangeAreCheckedBeforeAnyRequest)
{
    LoopbackTiles l;
    struct Case {
        int z, x, y;
        bool fetched;
    };
    for (const Case &c : {Case{23, 0, 0, false}, Case{-1, 0, 0, false}, Case{2, 4, 0, false}, Case{2, 0, -1, false},
                          Case{22, 4194303, 0, true}, Case{0, 0, 0, true}}) {
        const int before = l.server.requestCount();
        const QImage tile = l.cache.tile(MapProvider::mapbox, c.z, c.x, c.y, QStringLiteral("t"), QStringLiteral("en"));
        EXPECT_EQ(tile.isNull(), !c.fetched);
        EXPECT_EQ(l.server.requestCount() - before, c.fetched ? 1 : 0) << c.z << "/" << c.x << "/" << c.y;
    }
}

TEST(TileCache, MapboxKeysAddressesAndUnsafeTexts)
{
    EXPECT_EQ(TileCache::tileKey(MapProvider::openStreetMap, 3, 4, 5, QStringLiteral("en")), QStringLiteral("OSM_3_4_5@2x"));
    EXPECT_EQ(TileCache::tileKey(MapProvider::mapbox, 3, 4, 5, QStringLiteral("zh-Hans")),
              QStringLiteral("Mapbox_3_4_5@2x_zh-Hans_t512"));

    LoopbackTiles l;
    const QString evil = QStringLiteral("../../../../escape/x");
    const QString path = l.cache.tileFilePath(MapProvider::mapbox, 1, 0, 1, evil);
    EXPECT_EQ(QFileInfo(path).absolutePath(), l.cache.rootPath() + QStringLiteral("/Mapbox/1/0"));
    EXPECT_NE(TileCache::safeLanguage(QStringLiteral("a/b")), TileCache::safeLanguage(QStringLiteral("a_b")));
    EXPECT_LE(TileCache::safeLanguage(QString(500, QLatin1Char('/'))).size(), 64);
    TileCache::Options percent;
    percent.root = l.dir.path() + QStringLiteral("/a%1b%3");
    EXPECT_EQ(TileCache(percent).tileFilePath(MapProvider::openStreetMap, 2, 1, 3, {}),
              percent.root + QStringLiteral("/OSM/2/1/3@2x.png"));

    const QString token = QStringLiteral("pk.a&language=xx#/../b c");
    ASSERT_FALSE(l.cache.tile(MapProvider::mapbox, 1, 0, 1, token, evil).isNull());
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(l.server.requestedTargets().value(0),
              QByteArray("/styles/v1/mapbox/streets-v12/tiles/512/1/0/1@2x?access_token=pk.a%26language%3Dxx%23%2F..%2Fb%20c"
                         "&language=..%2F..%2F..%2F..%2Fescape%2Fx"));
    // Another token finds the same tile.
    EXPECT_FALSE(l.cache.tile(MapProvider::mapbox, 1, 0, 1, QStringLiteral("other"), evil).isNull());
    EXPECT_EQ(l.server.requestCount(), 1);
    // No token: no request at all.
    EXPECT_TRUE(l.cache.tile(MapProvider::mapbox, 1, 1, 1, {}, QStringLiteral("en")).isNull());
    EXPECT_EQ(l.server.requestCount(), 1);

    EXPECT_EQ(TileCache::defaultRootPath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/routereel/tiles"));
    // No cache folder: never "/routereel/tiles".
    for (const QString &none : {QString(), QStringLiteral("/")})
        EXPECT_TRUE(TileCache::rootPathIn(none).startsWith(QDir::tempPath() + QStringLiteral("/routereel-tiles-")));
}

TEST(TileCache, BlockingFetchNeverWaitsForever)
{
    using namespace std::chrono;
    // A trickling server and a silent one both end at the deadline.
    for (const Mode mode : {Mode::trickle, Mode::noAnswer}) {
        LoopbackTiles l(deadline(milliseconds(400)));
        l.server.setMode(mode);
        const auto start = steady_clock::now();
        EXPECT_TRUE(osm(l.cache, 4, 1, 1).isNull());
        EXPECT_LT(steady_clock::now() - start, seconds(10));
        EXPECT_FALSE(QFileInfo::exists(osmFile(l.cache, 4, 1, 1)));
    }

    // Cancellation by the caller's test and by cancelling every request, with a long deadline.
    LoopbackTiles l(deadline(seconds(600)));
    l.server.setMode(Mode::noAnswer);
    std::atomic<bool> cancelled = false;
    std::thread canceller([&] {
        std::this_thread::sleep_for(milliseconds(200));
        cancelled = true;
    });
    EXPECT_TRUE(osm(l.cache, 4, 1, 2, [&] { return cancelled.load(); }).isNull());
    canceller.join();
    std::thread aborter([&] {
        std::this_thread::sleep_for(milliseconds(200));
        l.cache.cancelRunningRequests();
    });
    EXPECT_TRUE(osm(l.cache, 4, 1, 3).isNull());
    aborter.join();
    EXPECT_EQ(l.server.requestCount(), 2);
}

TEST(TileCache, NoNetworkWaitOnTheNetworkThread)
{
    // Waiting on itself would only end at the deadline; make that far beyond the test's time-out.
    LoopbackTiles l(deadline(std::chrono::seconds(600)));
    ASSERT_FALSE(osm(l.cache, 2, 1, 1).isNull());
    QObject onNetworkThread;
    onNetworkThread.moveToThread(l.cache.networkThread());
    QImage missing, cached;
    QMetaObject::invokeMethod(
        &onNetworkThread,
        [&] {
            missing = osm(l.cache, 2, 0, 0);
            cached = osm(l.cache, 2, 1, 1);
        },
        Qt::BlockingQueuedConnection);
    EXPECT_TRUE(missing.isNull());
    EXPECT_FALSE(cached.isNull());
    EXPECT_EQ(l.server.requestCount(), 1);
    onNetworkThread.moveToThread(QThread::currentThread());
}

TEST(TileCache, PreloadFetchesEveryTileOnceUnlessCancelled)
{
    LoopbackTiles l({}, 20);
    l.cache.preload(MapProvider::openStreetMap, 10, {}, {}, {});
    l.cache.preload(MapProvider::openStreetMap, 10, {{1, 1}, {2, 2}}, {}, {}, [] { return true; });
    EXPECT_EQ(l.server.requestCount(), 0);

    QList<QPoint> tiles;
    for (int i = 0; i < 24; ++i)
        tiles.append(QPoint(100 + i % 6, 200 + i / 6));
    l.cache.preload(MapProvider::openStreetMap, 10, tiles, {}, {});
    EXPECT_EQ(l.server.requestCount(), 24);
    for (const QPoint &t : tiles)
        EXPECT_FALSE(osm(l.cache, 10, t.x(), t.y()).isNull());
    EXPECT_EQ(l.server.requestCount(), 24);
}

TEST(TileCache, DiskCollectionTrimsOldestToEightyPercent)
{
    struct Case {
        int files;  // of 100 bytes each
        bool oneByteMore;
        int removedOldest;
        qint64 left;
    };
    // Limit 1000: exactly at the limit stays; one byte over trims to 800 or less, oldest first.
    for (const Case &c : {Case{10, false, 0, 1000}, Case{10, true, 3, 701}, Case{0, false, 0, 0}}) {
        QTemporaryDir dir;
        const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
        QStringList paths;  // oldest first
        for (int i = 0; i < c.files; ++i) {
            // Names and folders do not follow age: the order must come from the times.
            paths.prepend(dir.path() + QStringLiteral("/OSM/5/%1/%2@2x.png").arg(i % 3).arg(i));
            ASSERT_TRUE(writeFile(paths.first(), QByteArray(100, 'a'), base.addSecs(c.files - i)));
        }
        if (c.oneByteMore) {
            paths.append(dir.path() + QStringLiteral("/Mapbox/5/0/0@2x_en_t512.png"));
            ASSERT_TRUE(writeFile(paths.last(), "x"));
        }
        EXPECT_EQ(TileCache::collectGarbage(dir.path(), 1000), c.left);
        for (int i = 0; i < paths.size(); ++i)
            EXPECT_EQ(QFileInfo::exists(paths[i]), i >= c.removedOldest) << c.files << " " << i;
    }
}

TEST(TileCache, ClearAndCollectionRemoveTilesOnlyAndNeverCrossALink)
{
    struct Case {
        const char *name;
        bool linkedRoot;  // the tile folder is a link to a folder on another disk
        bool clear;       // else a collection down to two tiles
    };
    const Case cases[]{{"clear, linked folder", true, true},
                       {"clear, real folder", false, true},
                       {"collection, linked folder", true, false},
                       {"collection, real folder", false, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QDir top(dir.path());
        const QString root = top.filePath(QStringLiteral("cache/tiles"));
        const QString place = c.linkedRoot ? top.filePath(QStringLiteral("disk")) : root;
        QDir().mkpath(place);
        if (c.linkedRoot) {
            QDir().mkpath(top.filePath(QStringLiteral("cache")));
            ASSERT_TRUE(QFile::link(place, root));
        }
        const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-30);
        // The user's files, older than every tile, some in the cache's own folders.
        const QStringList theirs{place + QStringLiteral("/notes.txt"), place + QStringLiteral("/OSM/readme.txt"),
                                 place + QStringLiteral("/OSM/3/2/1.png"), place + QStringLiteral("/OSM/3/2/1@2x.jpg"),
                                 top.filePath(QStringLiteral("outside/4/9@2x.png")),
                                 top.filePath(QStringLiteral("outside/photo.png"))};
        for (const QString &path : theirs)
            ASSERT_TRUE(writeFile(path, QByteArray(1000, 'u'), old));
        // Links in the cache's places that point out of it.
        QDir().mkpath(place + QStringLiteral("/OSM/3/2"));
        ASSERT_TRUE(QFile::link(top.filePath(QStringLiteral("outside")), place + QStringLiteral("/OSM/7")));
        ASSERT_TRUE(QFile::link(top.filePath(QStringLiteral("outside/photo.png")),
                                place + QStringLiteral("/OSM/3/2/5@2x.png")));
        TileCache cache([&] {
            TileCache::Options o;
            o.root = root;
            return o;
        }());
        const QDateTime recent = QDateTime::currentDateTimeUtc().addSecs(-60);
        const QStringList tiles{place + QStringLiteral("/OSM/3/2/1@2x.png"),
                                cache.tileFilePath(MapProvider::mapbox, 3, 2, 1, QStringLiteral("zh/../Hans~ é.x")),
                                place + QStringLiteral("/OSM/3/4/6@2x.png")};
        for (int i = 0; i < tiles.size(); ++i)
            ASSERT_TRUE(writeFile(tiles[i], QByteArray(100, 't'), recent.addSecs(i)));
        const QString leftover = place + QStringLiteral("/OSM/3/4/.6@2x.png.aB3dE6gH.tmp");
        ASSERT_TRUE(writeFile(leftover, QByteArray(10, 't'), old));

        qint64 counted = 0;
        for (const TileCache::DiskFile &f : TileCache::diskFiles(root, true))
            counted += f.size;
        EXPECT_EQ(counted, 310);
        if (c.clear) {
            EXPECT_TRUE(cache.clear());
            for (const QString &tile : tiles + QStringList{leftover, place + QStringLiteral("/OSM/3/4")})
                EXPECT_FALSE(QFileInfo::exists(tile)) << tile.toStdString();
            EXPECT_FALSE(QFileInfo(place + QStringLiteral("/OSM/7")).isSymLink());
            EXPECT_FALSE(QFileInfo(place + QStringLiteral("/OSM/3/2/5@2x.png")).isSymLink());
            // The place the user gave the cache stays; a real tile folder keeps what is not a tile.
            EXPECT_TRUE(QFileInfo(root).isSymLink() == c.linkedRoot && QFileInfo(root).isDir());
            EXPECT_TRUE(TileCache::diskFiles(root, true).isEmpty());
        } else {
            EXPECT_EQ(TileCache::collectGarbage(root, 250), 200);
            EXPECT_FALSE(QFileInfo::exists(tiles[0]));
            EXPECT_TRUE(QFileInfo::exists(tiles[1]) && QFileInfo::exists(tiles[2]) && QFileInfo::exists(leftover));
            EXPECT_TRUE(QFileInfo(place + QStringLiteral("/OSM/7")).isSymLink());
            EXPECT_TRUE(QFileInfo(place + QStringLiteral("/OSM/3/2/5@2x.png")).isSymLink());
        }
        for (const QString &path : theirs)
            EXPECT_EQ(QFileInfo(path).size(), 1000) << path.toStdString();
    }
}

TEST(TileCache, DownloadStartsCollectionAtMostOncePerInterval)
{
    TileCache::Options options;
    options.diskLimit = 100000;
    LoopbackTiles l(options);
    QStringList old;
    for (int i = 0; i < 10; ++i) {
        old.append(l.cache.rootPath() + QStringLiteral("/OSM/9/%1/1@2x.png").arg(i));
        ASSERT_TRUE(writeFile(old.last(), QByteArray(20000, 'a'), QDateTime::currentDateTimeUtc().addSecs(-3600 + i)));
    }
    ASSERT_FALSE(osm(l.cache, 9, 100, 100).isNull());
    l.cache.waitForCollections();
    EXPECT_LE(TileCache::collectGarbage(l.cache.rootPath(), qint64(1) << 40), 80000);
    EXPECT_FALSE(QFileInfo::exists(old.first()));
    EXPECT_TRUE(QFileInfo::exists(old.last()));
    EXPECT_TRUE(QFileInfo::exists(osmFile(l.cache, 9, 100, 100)));

    const QDateTime t = QDateTime::currentDateTimeUtc().addDays(1);
    EXPECT_TRUE(l.cache.collectGarbageIfNeeded(t));
    EXPECT_FALSE(l.cache.collectGarbageIfNeeded(t.addSecs(59)));
    EXPECT_FALSE(l.cache.collectGarbageIfNeeded(t.addSecs(60)));
    EXPECT_TRUE(l.cache.collectGarbageIfNeeded(t.addSecs(61)));
    l.cache.waitForCollections();
}

TEST(TileMemoryCache, BoundedByCountAndCost)
{
    const QImage small(10, 10, QImage::Format_ARGB32_Premultiplied);  // cost 400
    TileMemoryCache byCount(1 << 20, 3);
    for (const char *key : {"a", "b", "c"})
        byCount.insert(QString::fromLatin1(key), small);
    EXPECT_FALSE(byCount.find(QStringLiteral("a")).isNull());  // "a" is now the most recent
    byCount.insert(QStringLiteral("d"), small);
    EXPECT_EQ(byCount.count(), 3);
    EXPECT_TRUE(byCount.find(QStringLiteral("b")).isNull());
    EXPECT_FALSE(byCount.find(QStringLiteral("a")).isNull());

    TileMemoryCache byCost(1000, 100);
    byCost.insert(QStringLiteral("a"), small);
    byCost.insert(QStringLiteral("b"), small);
    EXPECT_EQ(byCost.totalCost(), 800);
    byCost.insert(QStringLiteral("c"), small);
    EXPECT_EQ(byCost.count(), 2);
    EXPECT_EQ(byCost.totalCost(), 800);
    byCost.insert(QStringLiteral("c"), small);  // replacing does not count twice
    EXPECT_EQ(byCost.totalCost(), 800);
    byCost.insert(QStringLiteral("huge"), QImage(100, 100, QImage::Format_ARGB32_Premultiplied));
    EXPECT_TRUE(byCost.find(QStringLiteral("huge")).isNull());
    EXPECT_EQ(byCost.count(), 2);
}
