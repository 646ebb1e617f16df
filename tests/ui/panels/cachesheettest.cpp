// The cache sheet over a tile cache and a temporary folder of the test's own.
#include "panelstest.h"

#include "maps/tilecache.h"
#include "ui/panels/cachesheet.h"
#include "ui/panels/elidedlabel.h"

#include "support/markingtranslator.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>


#include <unistd.h>

using namespace routereel;
using namespace panelstest;
using exporttest::waitFor;

namespace {

void writeFile(const QString &path, int bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
}

struct CacheFixture : QueueFixture {
    CacheFixture()
    {
        qputenv("TMPDIR", QFile::encodeName(root.filePath(QStringLiteral("tmp"))));
        QDir().mkpath(root.filePath(QStringLiteral("tmp")));
    }
    ~CacheFixture() { qunsetenv("TMPDIR"); }
    QString temp(const QString &name) const { return root.filePath(QStringLiteral("tmp/") + name); }
    // A shown sheet whose scan has ended.
    std::unique_ptr<CacheSheet> scanned()
    {
        auto sheet = std::make_unique<CacheSheet>(queue, tiles, log, state);
        sheet->show();
        EXPECT_TRUE(sheet->isScanning());
        EXPECT_TRUE(waitFor([&] { return !sheet->isScanning(); }, 30'000));
        return sheet;
    }
    QStringList rows(const CacheSheet &sheet) const
    {
        QStringList lines;
        for (const QWidget *row : shown(&sheet, QStringLiteral("cacheRow")))
            lines << row->findChild<QLabel *>(QStringLiteral("name"))->text() + QLatin1Char('|')
                    + row->findChild<QLabel *>(QStringLiteral("counts"))->text();
        return lines;
    }

    QDir root{dir.path()};
    TileCache tiles{[this] {
        TileCacheOptions options;
        options.root = root.filePath(QStringLiteral("cache/routereel/tiles"));
        return options;
    }()};
};

} // namespace

TEST(CacheSheet, ListsOnlyTheUsersOwnFoldersWithRegularFiles)
{
    CacheFixture f;
    writeFile(f.root.filePath(QStringLiteral("cache/routereel/tiles/OSM/15/1/1@2x.png")), 1500);
    writeFile(f.root.filePath(QStringLiteral("cache/routereel/tiles/OSM/15/1/.2@2x.png.hidDen12.tmp")), 500);
    writeFile(f.temp(QStringLiteral("routereel_a/video.mp4")), 2000);
    writeFile(f.temp(QStringLiteral("routereel_abcdefghijklmnopqrstuvwxyz/x/y/z.bin")), 10);
    writeFile(f.temp(QStringLiteral("Routereel_case/a")), 10);
    writeFile(f.temp(QStringLiteral("xroutereel_prefix/a")), 10);
    writeFile(f.temp(QStringLiteral("routereel_plainfile")), 10);
    QDir().mkpath(f.temp(QStringLiteral("routereel_empty/a/b")));
    // A planted link to someone's home folder, and (when we may) a folder of another user.
    writeFile(f.root.filePath(QStringLiteral("home/precious.txt")), 10);
    ASSERT_TRUE(QFile::link(f.root.filePath(QStringLiteral("home")), f.temp(QStringLiteral("routereel_link"))));
    writeFile(f.temp(QStringLiteral("routereel_other/a")), 10);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(f.temp(QStringLiteral("routereel_other"))).constData(), 65534, 65534), 0);
    }

    const auto sheet = f.scanned();
    EXPECT_EQ(sheet->size(), QSize(560, 300));
    QStringList rows = f.rows(*sheet);
    ASSERT_GE(rows.size(), 3);
    EXPECT_EQ(rows.takeFirst(), QStringLiteral("Map Tile Cache|2 files  ·  2.0 kB"));
    rows.sort();
    QStringList expected{"Export Temp (routereel_a...)|1 files  ·  2.0 kB",
                         "Export Temp (routereel_abcdefghijkl...)|1 files  ·  10 bytes"};
    if (::geteuid() != 0)  // without root the foreign folder is our own
        expected << "Export Temp (routereel_other...)|1 files  ·  10 bytes";
    EXPECT_EQ(rows, expected);
    saveShot(*sheet, QStringLiteral("cachesheet-en"));
    {
        Chinese chinese(f.state);
        saveShot(*sheet, QStringLiteral("cachesheet-zh"));
    }

    // Clear all: the tile folder and our folders go, the link and its target stay.
    (sheet->findChild<QPushButton *>(QStringLiteral("clearAll")))->click();
    ASSERT_TRUE(waitFor([&] { return !sheet->isClearing(); }, 30'000));
    EXPECT_TRUE(f.rows(*sheet).isEmpty());
    EXPECT_TRUE(showsText(*sheet, QStringLiteral("No cache data found")));
    EXPECT_FALSE(QFileInfo::exists(f.tiles.rootPath()));
    EXPECT_FALSE(QFileInfo::exists(f.temp(QStringLiteral("routereel_a"))));
    EXPECT_TRUE(QFileInfo(f.temp(QStringLiteral("routereel_link"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(f.root.filePath(QStringLiteral("home/precious.txt"))));
    EXPECT_TRUE(QFileInfo::exists(f.temp(QStringLiteral("Routereel_case/a"))));
}

// Each row's button says which entry it clears, and the list has a name of its own.
TEST(CacheSheet, AssistiveToolsTellTheRowsButtonsAndTheListApart)
{
    CacheFixture f;
    writeFile(f.root.filePath(QStringLiteral("cache/routereel/tiles/OSM/15/1/1@2x.png")), 1500);
    writeFile(f.temp(QStringLiteral("routereel_a/video.mp4")), 2000);
    const auto sheet = f.scanned();
    QStringList names;
    for (QPushButton *clear : shown<QPushButton>(sheet.get(), QStringLiteral("clearEntry")))
        names << clear->accessibleName();
    EXPECT_EQ(names, (QStringList{"Clear Map Tile Cache", "Clear Export Temp (routereel_a...)"}));
    EXPECT_EQ(unnamedTabStops(*sheet), "");
}

TEST(CacheSheet, LockedWhileAnExportWaitsAndFailuresStayListed)
{
    CacheFixture f;
    QDir().mkpath(f.root.filePath(QStringLiteral("cache/routereel/tiles/OSM/1/2")));  // empty folders only
    writeFile(f.temp(QStringLiteral("routereel_swap/a")), 10);
    writeFile(f.root.filePath(QStringLiteral("target/keep.txt")), 10);
    const auto sheet = f.scanned();
    ASSERT_EQ(f.rows(*sheet), QStringList{"Export Temp (routereel_swap...)|1 files  ·  10 bytes"});

    f.queue.enqueue(f.task(QStringLiteral("long.mp4"), true));
    QPushButton *rowClear = nullptr;
    const auto locked = [&] {
        return !sheet->findChild<QPushButton *>(QStringLiteral("clearAll"))->isEnabled() && !rowClear->isEnabled()
            && rowClear->toolTip() == QLatin1String("Cannot clear cache while exports are running or queued.")
            && button(*sheet, QStringLiteral("Close"))->isEnabled();
    };
    rowClear = shown<QPushButton>(sheet.get(), QStringLiteral("clearEntry")).first();
    EXPECT_TRUE(locked());
    EXPECT_TRUE(showsText(*sheet, QStringLiteral("Exports running — cache locked")));
    // The lock text keeps the default distance from the footer's "Clear".
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QList<QLabel *> lock;
    for (QLabel *label : shown<QLabel>(sheet.get(), QString()))
        if (label->text() == QStringLiteral("Exports running — cache locked"))
            lock << label;
    ASSERT_EQ(lock.size(), 1);
    EXPECT_EQ(lock.first()->x() - sheet->findChild<QPushButton *>(QStringLiteral("clearAll"))->geometry().right() - 1,
              sheet->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing));

    f.queue.exporter()->cancel();
    ASSERT_TRUE(waitFor([&] { return !f.queue.isBusy(); }, 30'000));
    rowClear = shown<QPushButton>(sheet.get(), QStringLiteral("clearEntry")).first();
    EXPECT_TRUE(rowClear->isEnabled());
    EXPECT_TRUE(rowClear->toolTip().isEmpty());

    // Swapped for a link after the scan: refused, logged, still listed, the target untouched.
    ASSERT_TRUE(QDir(f.temp(QStringLiteral("routereel_swap"))).removeRecursively());
    ASSERT_TRUE(QFile::link(f.root.filePath(QStringLiteral("target")), f.temp(QStringLiteral("routereel_swap"))));
    rowClear->click();
    testsupport::MarkingTranslator translator;  // a log title is data, in no language
    ASSERT_TRUE(waitFor([&] { return !sheet->isClearing(); }, 30'000));
    EXPECT_EQ(f.rows(*sheet).size(), 1);
    EXPECT_EQ(f.log.entries().first().level, LogEntry::Level::error);
    EXPECT_TRUE(f.log.entries().first().title.startsWith(QStringLiteral("Cache Not Cleared: ")));
    EXPECT_TRUE(QFileInfo::exists(f.root.filePath(QStringLiteral("target/keep.txt"))));
}
