#pragma once

#include <QRect>

class QDialog;
class QWidget;

namespace routereel {

// Keeps sheets and popups within the screen that shows them. A small screen at
// a large scale (1366 × 768 at 200 % leaves 683 × 384 points) is smaller than
// several of them: they shrink to the screen and what does not fit scrolls.
namespace screenfit {

// The part of the screen under `widget`'s window that windows may cover.
QRect availableArea(const QWidget *widget);

// Before a sheet is shown: when its size does not fit its window's screen, it is
// cut to the screen and its content moves into a scroll area that follows the
// keyboard focus. A sheet that fits is left as it is.
void fitSheet(QDialog *sheet);

// A panel whose size its own code sets (Qt's file dialog) is fitted as it shows,
// each time: cut to the screen and placed within it, centred on its parent
// window where there is room.
void fitPanel(QDialog *panel);

// The rectangle, `size` or less, of a popup hanging from `anchor`: centred
// under it, over it when there is more room above, and within the screen; its
// height is cut to the room of the chosen side, but never below `minimumHeight`
// (then it covers the anchor rather than leave the screen).
QRect popupGeometry(const QWidget *anchor, QSize size, int minimumHeight);

} // namespace screenfit

} // namespace routereel
