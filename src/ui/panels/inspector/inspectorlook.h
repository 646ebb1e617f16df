#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRectF>

class QLabel;
class QPainter;
class QPushButton;
class QWidget;

namespace routereel::inspectorlook {

// Every text of the inspector is looked up in this one catalogue context.
inline constexpr char context[] = "SettingsPanelView";
QString translated(const char *text);

QFont captionFont();   // 11 px, medium
QFont buttonFont();    // 11 px, regular
QFont valueFont();     // 10 px, monospaced
QFont sideLabelFont(); // 10 px, regular ("W", "H")

// Text colours a step and two steps weaker than the palette's window text.
QColor secondaryColor(const QPalette &palette);
QColor tertiaryColor(const QPalette &palette);

// A caption label; its text is set by the caller (and again on a language change).
QLabel *makeCaption(QWidget *parent);
// A label in the secondary colour, `width` wide, its text at the trailing edge.
QLabel *makeValueLabel(int width, QWidget *parent);
// A push button as wide as its row, its text centred in the button font.
QPushButton *makeWideButton(QWidget *parent);

// The box of a check box (or the circle of a radio button, `round`) with a frame
// that stays visible in either appearance: Fusion outlines both in a shade of the
// window colour, which vanishes on a dark panel. `highlighted` draws the frame in
// the highlight colour (checked, or holding the focus).
void drawIndicator(QPainter &painter, const QPalette &palette, QRectF rect, bool checked, bool highlighted,
                   bool down = false, bool round = false);
// The keyboard focus around `rect`: a ring in the highlight colour, apart from
// the checked state, which takes the same colour.
void drawFocusRing(QPainter &painter, const QPalette &palette, QRectF rect, double radius = 3);

} // namespace routereel::inspectorlook
