#pragma once

#include "base/textenum.h"

#include <QString>

namespace routereel {

// The unit in which the speed widget shows the current speed.
enum class SpeedUnit { kmh, mph, ms };

template <>
struct TextEnum<SpeedUnit> {
    static constexpr std::array cases{std::pair{SpeedUnit::kmh, "km/h"},
                                      std::pair{SpeedUnit::mph, "mph"},
                                      std::pair{SpeedUnit::ms, "m/s"}};
};

// Speed in metres per second as shown by the speed widget: one decimal with a
// full stop whatever the user's locale, a blank and the unit ("36.0 km/h").
QString formatSpeed(SpeedUnit unit, double metresPerSecond);

} // namespace routereel
