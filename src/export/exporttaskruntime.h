#pragma once

#include "exporttask.h"
#include "exporttaskstatus.h"

#include <QDateTime>

#include <optional>

namespace routereel {

// One task in the export queue.
struct ExportTaskRuntime {
    ExportTask task;
    ExportTaskStatus status;
    double progress = 0;  // 0 ... 1
    std::optional<QDateTime> startedAt;
    std::optional<QDateTime> finishedAt;

    // Seconds run so far (until `now` while running); 0 before the start.
    double elapsed(const QDateTime &now) const;
};

// "m:ss" below an hour, "h:mm:ss" from one hour on; seconds truncated.
QString formatDuration(double seconds);

} // namespace routereel
