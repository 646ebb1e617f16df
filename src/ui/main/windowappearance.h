#pragma once

#include <QPalette>

namespace routereel {

// The Fusion palette of the window's colour scheme: dark exactly when the
// stored "appAppearance" is "dark".
QPalette windowPalette(bool dark);

} // namespace routereel
