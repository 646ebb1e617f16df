#pragma once

class QPainter;

namespace routereel {

// Device pixels per unit of `painter` as it stands: the screen's ratio on screen,
// the target's when a view is rendered into a picture of another ratio (the paint
// device then still reports the screen's). Offscreen layers and icons are made at
// this many pixels per point so that they land on the device one to one.
double paintedPixelRatio(const QPainter &painter);

} // namespace routereel
