#include "tilecache.h"

#include "mapservices.h"
#include "webmercator.h"

#include "base/atomicfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>

#include <QtConcurrent>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <string>
#include <vector>

namespace routereel {
namespace {

constexpr int maxZoom = 22;

TileCache *sharedInstance = nullptr;

void stopSharedNetwork()
{
    // The network thread must not outlive the application object.
    if (sharedInstance)
        sharedInstance->stopNetwork();
}

QImage decoded(const QByteArray &data)
{
    QImage image = QImage::fromData(data);
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

TileCache &TileCache::shared()
{
    static TileCache *instance = [] {
        // Deliberately never destroyed: export threads may still hold it at exit.
        sharedInstance = new TileCache();
        qAddPostRoutine(stopSharedNetwork);
        return sharedInstance;
    }();
    return *instance;
}

QString TileCache::defaultRootPath()
{
    return rootPathIn(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

QString TileCache::rootPathIn(const QString &cacheLocation)
{
    // With no cache folder the path would hang off "/": keep the tiles in a
    // private folder under the temporary one instead.
    if (cacheLocation.isEmpty() || QDir(cacheLocation).isRoot())
        return QDir::tempPath() + QStringLiteral("/routereel-tiles-") + QString::number(getuid());
    return cacheLocation + QStringLiteral("/routereel/tiles");
}

TileCache::TileCache(Options options)
    : m_options(std::move(options))
    , m_root(m_options.root.isEmpty() ? defaultRootPath() : m_options.root)
    , m_memory(m_options.memoryCostLimit, m_options.memoryCountLimit)
    , m_downloader({m_options.transferTimeout, m_options.fetchDeadline, m_options.responseTimeout,
                    m_options.hostBackOff})
{
    m_preloadPool.setMaxThreadCount(std::max(1, m_options.preloadThreads));
    m_preloadPool.setObjectName(QStringLiteral("tile.preload"));
}

TileCache::~TileCache()
{
    m_downloader.cancelAll();
    m_preloadPool.waitForDone();
    waitForCollections();
    m_downloader.shutDown();
}

double TileCache::pixelX(int zoom, double lng, double tileSize)
{
    return webmercator::x(lng, std::exp2(zoom) * tileSize);
}

double TileCache::pixelY(int zoom, double lat, double tileSize)
{
    return webmercator::y(lat, std::exp2(zoom) * tileSize);
}

double TileCache::worldTileSize(MapProvider provider)
{
    return provider == MapProvider::mapbox ? 512 : 256;
}

int TileCache::maxTileZoom(MapProvider provider)
{
    return provider == MapProvider::mapbox ? MapServices::mapboxMaxTileZoom : MapServices::cartoMaxTileZoom;
}

QString TileCache::safeLanguage(const QString &language)
{
    QString safe = QString::fromLatin1(language.toUtf8().toPercentEncoding(QByteArray(), ".~"));
    // Keep file names short; an absurd language text still gets a name of its own.
    if (safe.size() > 64)
        safe = QStringLiteral("h") + QString::fromLatin1(QCryptographicHash::hash(language.toUtf8(), QCryptographicHash::Sha1).toHex());
    return safe;
}

namespace {

QString providerTag(MapProvider provider)
{
    return enumText(provider);
}

QString suffix(MapProvider provider, const QString &language)
{
    if (provider == MapProvider::mapbox)
        return QLatin1Char('_') + TileCache::safeLanguage(language) + QStringLiteral("_t512");
    return {};
}

} // namespace

QString TileCache::tileKey(MapProvider provider, int z, int x, int y, const QString &language)
{
    return QStringLiteral("%1_%2_%3_%4@2x%5")
        .arg(providerTag(provider), QString::number(z), QString::number(x), QString::number(y),
             suffix(provider, language));
}

QString TileCache::tileFilePath(MapProvider provider, int z, int x, int y, const QString &language) const
{
    // One substitution pass: a '%' in the cache folder's path stays as it is.
    return QStringLiteral("%1/%2/%3/%4/%5@2x%6.png")
        .arg(m_root, providerTag(provider), QString::number(z), QString::number(x), QString::number(y),
             suffix(provider, language));
}

QUrl TileCache::tileURL(MapProvider provider, int z, int x, int y, const QString &token, const QString &language)
{
    QByteArray address;
    if (provider == MapProvider::openStreetMap) {
        address = MapServices::cartoRasterEndpoint().toEncoded(QUrl::StripTrailingSlash)
                  + QStringLiteral("/rastertiles/voyager/%1/%2/%3@2x.png").arg(z).arg(x).arg(y).toLatin1();
    } else {
        if (token.isEmpty())
            return {};  // the service refuses every request without a token
        // Percent-encoded so that no token or language text can change the address's shape.
        address = MapServices::mapboxApiEndpoint().toEncoded(QUrl::StripTrailingSlash)
                  + QStringLiteral("/styles/v1/mapbox/streets-v12/tiles/512/%1/%2/%3@2x").arg(z).arg(x).arg(y).toLatin1()
                  + "?access_token=" + token.toUtf8().toPercentEncoding() + "&language="
                  + language.toUtf8().toPercentEncoding();
    }
    const QUrl url = QUrl::fromEncoded(address, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}

QImage TileCache::fromDisk(const QString &key, const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return {};  // corrupt: fetched again
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_memory.insert(key, image);
    return image;
}

QImage TileCache::tile(MapProvider provider, int z, int x, int y, const QString &token, const QString &language,
                       const CancelCheck &isCancelled,
                       std::optional<std::chrono::steady_clock::time_point> answerBy)
{
    if (z < 0 || z > maxZoom)
        return {};
    const qint64 n = qint64(1) << z;
    if (x < 0 || y < 0 || x >= n || y >= n)
        return {};
    const QString key = tileKey(provider, z, x, y, language);
    if (QImage image = m_memory.find(key); !image.isNull())
        return image;
    const QString path = tileFilePath(provider, z, x, y, language);
    if (QImage image = fromDisk(key, path); !image.isNull())
        return image;

    const QUrl url = tileURL(provider, z, x, y, token, language);
    if (!url.isValid())
        return {};
    // Without a network every frame would ask again for the tiles it lacks.
    const QString address = url.toString(QUrl::FullyEncoded);
    if (failedRecently(address))
        return {};
    TileDownloader::Miss miss = TileDownloader::Miss::failed;
    const auto response = m_downloader.get(url, isCancelled, &miss, answerBy);
    if (!response) {
        if (miss != TileDownloader::Miss::cancelled)
            rememberFailure(address);
        return {};
    }
    QImage image = response->status == 200 ? decoded(response->body) : QImage();
    if (image.isNull()) {
        rememberFailure(address);
        return {};
    }
    // A tile that cannot be stored (a full disk) is only not cached.
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeFileAtomically(path, response->body);
    collectGarbageIfNeeded();
    m_memory.insert(key, image);
    return image;
}

bool TileCache::failedRecently(const QString &url)
{
    QMutexLocker lock(&m_failedLock);
    const auto it = m_failedTiles.constFind(url);
    if (it == m_failedTiles.constEnd())
        return false;
    if (std::chrono::steady_clock::now() < *it)
        return true;
    m_failedTiles.erase(it);
    return false;
}

void TileCache::rememberFailure(const QString &url)
{
    QMutexLocker lock(&m_failedLock);
    const auto now = std::chrono::steady_clock::now();
    // Bounded: expired entries go whenever the table has grown large.
    if (m_failedTiles.size() >= 4096)
        m_failedTiles.removeIf([now](const auto &entry) { return entry.value() <= now; });
    m_failedTiles.insert(url, now + m_options.failedTileRetention);
}

void TileCache::preload(MapProvider provider, int zoom, const QList<QPoint> &tiles, const QString &token,
                        const QString &language, const CancelCheck &isCancelled)
{
    QSemaphore finished;
    int submitted = 0;
    for (const QPoint &t : tiles) {
        if (isCancelled && isCancelled())
            break;
        ++submitted;
        m_preloadPool.start([=, this, &finished] {
            if (!isCancelled || !isCancelled())
                tile(provider, zoom, t.x(), t.y(), token, language, isCancelled);
            finished.release();
        });
    }
    finished.acquire(submitted);
}

void TileCache::cancelRunningRequests()
{
    m_downloader.cancelAll();
}

void TileCache::stopNetwork()
{
    m_downloader.shutDown();
}

bool TileCache::clear()
{
    m_downloader.cancelAll();
    m_downloader.forgetUnreachableHosts();
    {
        QMutexLocker failed(&m_failedLock);
        m_failedTiles.clear();
    }
    QMutexLocker lock(&m_gcLock);
    const bool cleared = removeDiskFiles(m_root);
    m_memory.clear();
    return cleared;
}

bool TileCache::collectGarbageIfNeeded(const QDateTime &now)
{
    QMutexLocker lock(&m_gcLock);
    if (!m_lastCollection.isNull() && m_lastCollection.msecsTo(now) <= m_options.collectionInterval.count() * 1000)
        return false;
    m_lastCollection = now;
    m_collections.removeIf([](const QFuture<qint64> &f) { return f.isFinished(); });
    QThreadPool *pool = QThreadPool::globalInstance();
    m_collections.append(QtConcurrent::run(pool, &TileCache::collectGarbage, m_root, m_options.diskLimit));
    return true;
}

void TileCache::waitForCollections()
{
    QList<QFuture<qint64>> running;
    {
        QMutexLocker lock(&m_gcLock);
        running = m_collections;
    }
    for (QFuture<qint64> &f : running)
        f.waitForFinished();
}

namespace {

// The cache's folders: root / provider tag / zoom / column, then tile files.
constexpr int fileDepth = 3;

bool isNumberName(const std::string &name)
{
    return !name.empty() && name.size() <= 10
        && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A name tileFilePath gives, or (`temporary`) the hidden one writeFileAtomically writes it under first.
bool isTileName(const std::string &tag, const std::string &name, bool temporary)
{
    static const QRegularExpression osm(QStringLiteral("^[0-9]{1,10}@2x\\.png$"));
    static const QRegularExpression mapbox(QStringLiteral("^[0-9]{1,10}@2x_[A-Za-z0-9_%-]{0,64}_t512\\.png$"));
    static const QRegularExpression osmTemporary(QStringLiteral("^\\.[0-9]{1,10}@2x\\.png\\.[A-Za-z0-9]{8}\\.tmp$"));
    static const QRegularExpression mapboxTemporary(
        QStringLiteral("^\\.[0-9]{1,10}@2x_[A-Za-z0-9_%-]{0,64}_t512\\.png\\.[A-Za-z0-9]{8}\\.tmp$"));
    const bool isOsm = tag == enumText(MapProvider::openStreetMap).toStdString();
    const QString text = QString::fromStdString(name);
    if (isOsm)
        return osm.match(text).hasMatch() || (temporary && osmTemporary.match(text).hasMatch());
    return mapbox.match(text).hasMatch() || (temporary && mapboxTemporary.match(text).hasMatch());
}

// The names in the open folder `dir`; false when it cannot be read.
bool namesIn(int dir, std::vector<std::string> &names)
{
    const int copy = ::dup(dir);
    DIR *stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!stream) {
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const bool complete = errno == 0;
    ::closedir(stream);
    return complete;
}

struct TileWalk {
    bool remove = false;
    bool temporaries = false;
    QList<TileCache::DiskFile> found;
    bool complete = true;  // removing: nothing of the cache's stayed
};

// Visits the cache's own entries in the open folder `dir` at `depth`, never through a link.
void walkTiles(int dir, int depth, const std::string &tag, const std::string &relative, TileWalk &walk)
{
    std::vector<std::string> names;
    if (depth == 0) {
        for (MapProvider provider : {MapProvider::openStreetMap, MapProvider::mapbox})
            names.push_back(enumText(provider).toStdString());
    } else if (!namesIn(dir, names)) {
        walk.complete = false;
    }
    for (const std::string &name : names) {
        const bool ours = depth == 0 || (depth < fileDepth ? isNumberName(name)
                                                           : isTileName(tag, name, walk.temporaries));
        if (!ours)
            continue;
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                walk.complete = false;
            continue;
        }
        const std::string path = relative.empty() ? name : relative + '/' + name;
        if (S_ISLNK(st.st_mode)) {
            // A link in one of the cache's places is itself the entry; what it points to is not the cache's.
            if (walk.remove && ::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT)
                walk.complete = false;
            continue;
        }
        if (depth < fileDepth) {
            if (!S_ISDIR(st.st_mode))
                continue;
            const int sub = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                if (errno != ENOENT)
                    walk.complete = false;
                continue;
            }
            walkTiles(sub, depth + 1, depth == 0 ? name : tag, path, walk);
            ::close(sub);
            // Only an empty folder goes: whatever else was put in it stays.
            if (walk.remove && ::unlinkat(dir, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY
                && errno != EEXIST && errno != ENOENT)
                walk.complete = false;
            continue;
        }
        if (!S_ISREG(st.st_mode))
            continue;
        if (walk.remove) {
            if (::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT)
                walk.complete = false;
        } else {
            walk.found.append({QFile::decodeName(QByteArray::fromStdString(path)), qint64(st.st_size),
                               qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec});
        }
    }
}

// The cache folder, opened through a link there; -1 with errno when it cannot be.
int openRoot(const QString &root)
{
    if (root.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Removes one regular file below the open root, opening each folder on the way without following a link.
bool removeTileAt(int root, const QString &relative)
{
    const QList<QByteArray> parts = QFile::encodeName(relative).split('/');
    if (parts.size() != fileDepth + 1)
        return false;
    int dir = ::dup(root);
    for (int i = 0; i < fileDepth && dir >= 0; ++i) {
        const int sub = ::openat(dir, parts[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = sub;
    }
    if (dir < 0)
        return false;
    struct stat st {};
    const bool removed = ::fstatat(dir, parts.last().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode) && ::unlinkat(dir, parts.last().constData(), 0) == 0;
    ::close(dir);
    return removed;
}

} // namespace

QList<TileCache::DiskFile> TileCache::diskFiles(const QString &root, bool temporaries)
{
    TileWalk walk;
    walk.temporaries = temporaries;
    const int dir = openRoot(root);
    if (dir < 0)
        return {};
    walkTiles(dir, 0, {}, {}, walk);
    ::close(dir);
    return walk.found;
}

bool TileCache::removeDiskFiles(const QString &root)
{
    TileWalk walk;
    walk.remove = true;
    walk.temporaries = true;
    const int dir = openRoot(root);
    if (dir < 0)
        return errno == ENOENT;
    walkTiles(dir, 0, {}, {}, walk);
    ::close(dir);
    // A folder reached through a link is someone's place for the cache: it stays, and so does the link.
    struct stat st {};
    const QByteArray path = QFile::encodeName(root);
    if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && ::rmdir(path.constData()) != 0
        && errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT)
        walk.complete = false;
    return walk.complete;
}

qint64 TileCache::collectGarbage(const QString &root, qint64 limit)
{
    // Hidden leftovers of interrupted writes are left to a clear: one may be a write in progress.
    const QList<DiskFile> found = diskFiles(root, false);
    qint64 total = 0;
    for (const DiskFile &file : found)
        total += file.size;
    if (total <= limit)
        return total;
    QList<DiskFile> entries = found;
    std::sort(entries.begin(), entries.end(), [](const DiskFile &a, const DiskFile &b) {
        return a.modifiedNs != b.modifiedNs ? a.modifiedNs < b.modifiedNs : a.path < b.path;
    });
    const qint64 target = limit / 5 * 4 + (limit % 5) * 4 / 5;  // floor(0.8 * limit) without overflow
    const int dir = openRoot(root);
    if (dir < 0)
        return total;
    for (const DiskFile &e : entries) {
        if (total <= target)
            break;
        if (removeTileAt(dir, e.path))
            total -= e.size;
    }
    ::close(dir);
    return total;
}

} // namespace routereel
