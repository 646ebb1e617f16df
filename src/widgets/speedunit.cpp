#include "speedunit.h"

#include <cstdio>

namespace routereel {

QString formatSpeed(SpeedUnit unit, double metresPerSecond)
{
    double value = metresPerSecond;
    switch (unit) {
    case SpeedUnit::kmh:
        value *= 3.6;
        break;
    case SpeedUnit::mph:
        value *= 2.23694;
        break;
    case SpeedUnit::ms:
        break;
    }
    // QString::number always uses the C locale, unlike printf under setlocale().
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + enumText(unit);
}

} // namespace routereel
