#pragma once

#include <QString>
#include <QUrl>

namespace routereel {

// Web map style addresses (moved beside the raster addresses once those land).
class MapServiceAddresses {
public:
    static QUrl vectorStyleUrl();
    static QString mapboxStyleUrl();
    static void overrideVectorStyleForTesting(const QUrl &url);
};

} // namespace routereel
