#pragma once

#include <QString>

namespace routereel {

// Where the export queue writes its entries: the window's in-app log.
class ExportLog {
public:
    enum class Level { info, warning, error };

    virtual ~ExportLog() = default;
    virtual void add(Level level, const QString &title, const QString &detail) = 0;
};

} // namespace routereel
