#pragma once

#include <QColor>
#include <QPalette>

// The panel's colours. The system colours follow the widget's palette: a dark
// window background picks their dark variants.
namespace routereel::timelinepalette {

bool isDark(const QPalette &palette);
QColor blue(const QPalette &palette);
QColor green(const QPalette &palette);
QColor orange(const QPalette &palette);
QColor red(const QPalette &palette);
// Secondary text: the text colour at reduced strength.
QColor secondary(const QPalette &palette);
// Names and durations on the lanes' bars, in either appearance.
QColor barLabel();
// Outline of a selected segment in either lane.
QColor selection();
// Behind the toolbar, the header column and the duration tooltip.
QColor controlBackground(const QPalette &palette);

} // namespace routereel::timelinepalette
