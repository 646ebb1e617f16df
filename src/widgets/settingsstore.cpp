#include "settingsstore.h"

#include "mapenums.h"

#include <algorithm>
#include <cmath>

namespace routereel::settingsstore {

bool readBool(const QString &key, bool fallback)
{
    const QVariant v = QSettings().value(key);
    return v.isValid() ? v.toBool() : fallback;
}

double readDouble(const QString &key, double fallback)
{
    const QVariant v = QSettings().value(key);
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : 0;
}

int readInt(const QString &key, int fallback, int lower, int upper)
{
    const QVariant v = QSettings().value(key);
    if (!v.isValid())
        return fallback;
    bool ok = false;
    double d = v.toDouble(&ok);
    if (!ok || std::isnan(d))
        d = 0;
    // Clamp before converting: a stored 1e300 must not reach an int conversion.
    return static_cast<int>(std::clamp(std::trunc(d), double(lower), double(upper)));
}

void write(const QString &key, const QVariant &value)
{
    QSettings().setValue(key, value);
}

double boundedWidgetSize(double stored)
{
    if (!std::isfinite(stored))
        return widgetSizeRange.upper;
    return std::clamp(stored, widgetSizeRange.lower, widgetSizeRange.upper);
}

} // namespace routereel::settingsstore
