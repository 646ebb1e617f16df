#pragma once

#include <QString>

namespace routereel {

// The value text beside an inspector slider. Stored values come from hand-editable
// settings, so anything (NaN, 1e300) must give a short text without ever reaching
// an integer conversion.

// The value truncated toward zero: 187.9 gives "187".
QString integerValueText(double value);
// The value as a whole percentage, rounded: 0.856 gives "86%".
QString percentValueText(double fraction);

} // namespace routereel
