#pragma once

#include "cacheentry.h"

#include <QList>
#include <QString>

#include <optional>

namespace routereel {

class TileCache;

// Why a cache entry could not be cleared; one message each.
enum class CacheClearError { notAFolder, notOwned, removeFailed };
QString cacheClearErrorMessage(CacheClearError error);

// The file-system side of the cache sheet. Everything here blocks and runs on
// a pool thread. The temporary folder is shared with other users: only the
// user's own folders are listed or removed, and no symbolic link is ever
// followed, neither at the top nor inside.
namespace cachescan {

inline constexpr char exportTempPrefix[] = "routereel_";

struct DirectorySize {
    qint64 bytes = 0;
    qint64 files = 0;
};

} // namespace cachescan

struct CacheClearFailure {
    CacheClearError error;
    QString reason;  // the system's words, may be empty
    std::optional<cachescan::DirectorySize> left;  // what the entry still holds; none when nothing was found
};

namespace cachescan {

// Sum and number of the regular files below `path`; none when it does not
// exist or holds no regular file.
std::optional<DirectorySize> directorySize(const QString &path);
// The same for the tile cache's own files below `root`; anything else there is not the cache's.
std::optional<DirectorySize> tileCacheSize(const QString &root);

// The tile cache's folder, or empty when it cannot be trusted: a cache on the
// default place while the system names no cache folder would clear "/routereel/tiles".
QString tileRoot(const TileCache &tiles);

// The tile entry (when its folder holds tiles) first, then the user's own
// folders named "routereel_…" in `tempDir`, in listing order.
QList<CacheEntry> scan(const QString &tileRoot, const QString &tempDir);

// Removes one export temporary folder with everything below it.
std::optional<CacheClearFailure> removeTempItem(const QString &path);

// Clears one entry by its kind; none on success.
std::optional<CacheClearFailure> clear(const CacheEntry &entry, TileCache &tiles);

} // namespace cachescan

} // namespace routereel
