#pragma once

#include <QString>
#include <QUuid>

namespace routereel {

// One row of the cache sheet: the tile cache's folder or one export temporary item.
struct CacheEntry {
    enum class Kind { tileCache, exportTemp };

    QUuid id = QUuid::createUuid();
    Kind kind = Kind::tileCache;
    QString path;      // what clearing removes
    QString itemName;  // the temporary item's own name; empty for the tile cache
    qint64 size = 0;   // bytes of the regular files below `path`
    qint64 fileCount = 0;
};

} // namespace routereel
