#pragma once

class QWidget;

namespace routereel {

// Keeps the keyboard focus where the user can see it.
namespace focusview {

// A control under `root` that gets the focus by key (Tab, a shortcut, a window
// coming back) is scrolled into view in every scroll area around it up to
// `root`, also when the Tab came from outside those areas. A click leaves the
// scrolling alone. One filter serves every root.
void followFocus(QWidget *root);

// Draws a ring around `control` while it has the keyboard focus, in colours that
// stand out on the control's own face too (an accent-coloured button).
void showFocusRing(QWidget *control);

} // namespace focusview

} // namespace routereel
