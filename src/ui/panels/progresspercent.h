#pragma once

#include <QString>

namespace routereel {

// "42%": an export's progress (0 to 1) in whole percent, truncated, so that 100%
// shows only when it is done. The queue bar and the history rows say the same.
QString progressPercentText(double progress);

} // namespace routereel
