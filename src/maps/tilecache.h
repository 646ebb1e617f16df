#pragma once

#include "tiledownloader.h"
#include "tilememorycache.h"
#include "widgets/mapenums.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPoint>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <memory>

namespace routereel {

// Limits and time-outs of a tile cache; tests shrink them, the application keeps these.
struct TileCacheOptions {
    QString root;  // empty: <user cache folder>/routereel/tiles
    qint64 diskLimit = qint64(1) << 30;
    qint64 memoryCostLimit = qint64(256) << 20;
    int memoryCountLimit = 2048;
    std::chrono::milliseconds transferTimeout{15000};
    std::chrono::milliseconds fetchDeadline{30000};
    std::chrono::milliseconds responseTimeout{5000};  // for the answer to begin
    std::chrono::milliseconds hostBackOff{30000};     // first pause for a host that could not be reached
    std::chrono::milliseconds failedTileRetention{60000};  // a tile that failed is not asked for again meanwhile
    std::chrono::seconds collectionInterval{60};
    int preloadThreads = 8;
};

// The application's store of raster map tiles: memory first, then files under
// the user's cache folder, then the provider's tile service. Lookups block and
// belong on background threads; the memory cache, lookups, preload and clear
// may be used from any thread at once.
class TileCache {
public:
    using Options = TileCacheOptions;
    using CancelCheck = TileDownloader::CancelCheck;

    static TileCache &shared();

    explicit TileCache(Options options = Options());
    ~TileCache();
    TileCache(const TileCache &) = delete;
    TileCache &operator=(const TileCache &) = delete;

    // The tile's image in Format_ARGB32_Premultiplied, or a null image when it cannot be had
    // (zoom outside 0...22, tile outside the world, no address, network failure, status other
    // than 200, undecodable data, deadline passed, cancelled). A tile that failed, and every tile
    // of a host that could not be reached, gives a null image at once for a while.
    // `answerBy`: as TileDownloader::get.
    QImage tile(MapProvider provider, int z, int x, int y, const QString &token, const QString &language,
                const CancelCheck &isCancelled = {},
                std::optional<std::chrono::steady_clock::time_point> answerBy = std::nullopt);

    // Fetches the tiles (x, y) of one zoom in parallel; returns when all are done.
    void preload(MapProvider provider, int zoom, const QList<QPoint> &tiles, const QString &token,
                 const QString &language, const CancelCheck &isCancelled = {});

    // Cancels running requests, deletes the disk cache, empties memory and forgets failures.
    // Returns whether none of the cache's files is left on disk.
    bool clear();
    // Aborts every running request (an export being cancelled).
    void cancelRunningRequests();
    // Ends the network thread for good; later lookups use memory and disk only.
    void stopNetwork();

    // Web Mercator world pixels at integer zoom `zoom` for tiles of `tileSize` pixels.
    static double pixelX(int zoom, double lng, double tileSize);
    static double pixelY(int zoom, double lat, double tileSize);

    static QString tileKey(MapProvider provider, int z, int x, int y, const QString &language);
    QString tileFilePath(MapProvider provider, int z, int x, int y, const QString &language) const;
    static QUrl tileURL(MapProvider provider, int z, int x, int y, const QString &token, const QString &language);
    // Tile side in world pixels of each provider at the map renderer's zoom.
    static double worldTileSize(MapProvider provider);
    static int maxTileZoom(MapProvider provider);
    // The map language as it may appear in keys and file names: letters, digits, '-' and '_'
    // kept, everything else percent-encoded, so that no text can leave the cache folder.
    static QString safeLanguage(const QString &language);

    QString rootPath() const { return m_root; }
    static QString defaultRootPath();
    // The tile folder inside a user cache folder; never below the file system's root.
    static QString rootPathIn(const QString &cacheLocation);
    const Options &options() const { return m_options; }
    int memoryCount() const { return m_memory.count(); }

    // A file of the cache's own below its folder, path relative to that folder.
    struct DiskFile {
        QString path;
        qint64 size = 0;
        qint64 modifiedNs = 0;  // since the epoch
    };
    // The files below `root` that the cache made, told by the names it gives them: tiles and,
    // with `temporaries`, what an interrupted write left. A link below `root` is never
    // followed; `root` itself may be a link (the cache placed on another disk).
    static QList<DiskFile> diskFiles(const QString &root, bool temporaries);
    // Removes those files (a link standing in the place of one goes, not what it points to)
    // and the cache's folders they leave empty; anything else stays. A real `root` goes once
    // empty; a link at `root` and the folder it points to stay. Returns whether none is left.
    static bool removeDiskFiles(const QString &root);

    // Starts a disk collection when the last one started more than the interval before `now`.
    // Returns whether it started one.
    bool collectGarbageIfNeeded(const QDateTime &now = QDateTime::currentDateTimeUtc());
    // Removes the oldest files until the folder holds at most 80 % of `limit`, but only when it
    // holds more than `limit`. Returns the bytes left.
    static qint64 collectGarbage(const QString &root, qint64 limit);
    void waitForCollections();

    QThread *networkThread() const { return m_downloader.thread(); }

private:
    QImage fromDisk(const QString &key, const QString &path);
    bool failedRecently(const QString &url);
    void rememberFailure(const QString &url);

    const Options m_options;
    const QString m_root;
    TileMemoryCache m_memory;
    TileDownloader m_downloader;
    QMutex m_failedLock;
    QHash<QString, std::chrono::steady_clock::time_point> m_failedTiles;  // address -> asked again after
    QThreadPool m_preloadPool;
    QMutex m_gcLock;
    QDateTime m_lastCollection;  // null: never
    QList<QFuture<qint64>> m_collections;
};

} // namespace routereel
