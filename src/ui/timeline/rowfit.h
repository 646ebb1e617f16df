#pragma once

#include <QList>

// Which controls of a one-line row fit its width. Controls leave in their drop
// order (lowest first, equal orders together) until the rest fit beside the
// overflow button that then holds them; before any leaves, a shrinkable control
// gives up width down to its minimum. A separator shows only between two
// shown controls of its own run (runs end at a breaking item, e.g. a stretch).
namespace routereel::rowfit {

struct Item {
    int width = 0;
    int minimumWidth = 0;  // below `width`: the control may shrink to it
    int dropOrder = -1;    // -1: never leaves
    bool wanted = true;    // false: not shown now whatever the width
    bool separator = false;
    bool breaksRun = false;  // a stretch between the leading and trailing controls
};

struct Fit {
    QList<bool> shown;
    QList<int> widths;
    bool overflow = false;  // some wanted control left: the overflow button shows
};

// `available` is the row's width inside its margins.
Fit fit(const QList<Item> &items, int available, int spacing, int overflowWidth);

} // namespace routereel::rowfit
