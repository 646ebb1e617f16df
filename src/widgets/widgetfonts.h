#pragma once

#include <QFont>

namespace routereel {

// Fonts of the overlay widgets. They are bundled with the program so that text
// metrics, and therefore widget sizes, are the same on every machine.
// Sizes are in points; overlay bitmaps are 72 dpi, so a point is a pixel there.

// Bold monospaced face of the text widgets and the heart-rate graph's sign.
QFont widgetMonoFont(double pointSize);

// Plain sans-serif face of the compass letter.
QFont widgetSansFont(double pointSize);

} // namespace routereel
