#pragma once

#include "exportlog.h"

#include "tracks/logstore.h"

#include <QPointer>

namespace routereel {

// The export queue's entries in the window's log store, held weakly: once the
// store is gone nothing is logged.
class LogStoreExportLog : public ExportLog {
public:
    explicit LogStoreExportLog(LogStore *store) : m_store(store) {}

    void add(Level level, const QString &title, const QString &detail) override
    {
        if (!m_store)
            return;
        const LogEntry::Level entryLevel = level == Level::error ? LogEntry::Level::error
            : level == Level::warning                          ? LogEntry::Level::warning
                                                               : LogEntry::Level::info;
        m_store->add(entryLevel, title, detail);
    }

private:
    QPointer<LogStore> m_store;
};

} // namespace routereel
