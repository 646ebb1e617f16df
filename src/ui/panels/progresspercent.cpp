#include "progresspercent.h"

#include <algorithm>
#include <cmath>

namespace routereel {

QString progressPercentText(double progress)
{
    const double percent = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) * 100 : 0;
    return QString::number(int(std::trunc(percent))) + QLatin1Char('%');
}

} // namespace routereel
