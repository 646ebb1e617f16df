// The cache sheet's file work on a tile folder that is a link to a folder of the user's.
#include "maps/tilecache.h"
#include "ui/panels/cachescan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

bool writeFile(const QString &path, int bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray(bytes, 'x')) == bytes;
}

} // namespace

TEST(CacheScan, ALinkedTileFolderCountsAndClearsTilesOnly)
{
    QTemporaryDir dir;
    const QDir top(dir.path());
    const QString disk = top.filePath(QStringLiteral("disk"));
    const QString root = top.filePath(QStringLiteral("cache/routereel/tiles"));
    const QStringList theirs{disk + QStringLiteral("/holiday.mov"), disk + QStringLiteral("/OSM/list.txt")};
    for (const QString &path : theirs)
        ASSERT_TRUE(writeFile(path, 5000));
    ASSERT_TRUE(writeFile(disk + QStringLiteral("/OSM/12/2100/1400@2x.png"), 300));
    ASSERT_TRUE(writeFile(disk + QStringLiteral("/Mapbox/12/2100/1400@2x_en_t512.png"), 200));
    QDir().mkpath(QFileInfo(root).absolutePath());
    ASSERT_TRUE(QFile::link(disk, root));
    TileCache tiles([&] {
        TileCacheOptions options;
        options.root = root;
        return options;
    }());

    const QList<CacheEntry> found = cachescan::scan(cachescan::tileRoot(tiles), {});
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].kind, CacheEntry::Kind::tileCache);
    EXPECT_EQ(found[0].fileCount, 2);
    EXPECT_EQ(found[0].size, 500);

    EXPECT_EQ(cachescan::clear(found[0], tiles), std::nullopt);
    EXPECT_TRUE(cachescan::scan(cachescan::tileRoot(tiles), {}).isEmpty());
    for (const QString &path : theirs)
        EXPECT_EQ(QFileInfo(path).size(), 5000) << path.toStdString();
    EXPECT_TRUE(QFileInfo(root).isSymLink());
}
