#include "exporttaskruntime.h"

#include <cmath>
#include <cstdint>

namespace routereel {

double ExportTaskRuntime::elapsed(const QDateTime &now) const
{
    if (!startedAt)
        return 0;
    return static_cast<double>(startedAt->msecsTo(finishedAt.value_or(now))) / 1000;
}

QString formatDuration(double seconds)
{
    // A clock set back while a task runs must not show a negative time.
    const double whole = std::isfinite(seconds) ? std::trunc(std::max(seconds, 0.0)) : 0;
    const auto t = static_cast<std::int64_t>(std::min(whole, 9.0e15));
    if (t < 3600)
        return QString::asprintf("%d:%02d", int(t / 60), int(t % 60));
    return QString::asprintf("%lld:%02d:%02d", static_cast<long long>(t / 3600), int(t / 60 % 60), int(t % 60));
}

} // namespace routereel
