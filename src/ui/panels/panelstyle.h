#pragma once

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QString>

#include <functional>
#include <initializer_list>

class QDialog;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPalette;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;

namespace routereel {

// Looks shared by the queue bar, the history popover and the sheets: fonts in
// pixels, the palette's secondary and accent colours, fixed signal colours.
namespace panelstyle {

enum class Tone { primary, secondary, tertiary, accent, green, orange, red, blue, white };

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);
// The colour of a tone in `palette`; the signal colours are a little lighter on dark backgrounds.
QColor color(Tone tone, const QPalette &palette);
// Gives `widget` the text colour of `tone` and remembers it, so that applyTones()
// can give it again after the palette changed (dark mode).
void setTone(QWidget *widget, Tone tone);
void applyTones(QWidget *root);
// A view's reaction to a language or palette change: new texts, or new tones and
// icons (the icons are drawn in the palette's colours, so they are made again too).
void followChange(QWidget *view, const QEvent *event, const std::function<void()> &retranslate);
// A sheet's column with its header row (symbol, bold title, stretch); the caller
// adds its own controls to the row and then `finishSheetHeader`.
QHBoxLayout *sheetHeader(QDialog *sheet, QVBoxLayout **column, QLabel **icon, QLabel **title);
// Puts the header row and a divider into the column.
void finishSheetHeader(QDialog *sheet, QVBoxLayout *column, QHBoxLayout *header);
// A list of rows that scrolls vertically only; its row widget and layout are returned too.
QScrollArea *scrollingList(QWidget *parent, QWidget **rows, QVBoxLayout **rowLayout);
// A page showing `items` one above the other, centred both ways.
QWidget *centredColumn(QWidget *parent, std::initializer_list<QWidget *> items);
// A thin horizontal line between regions.
QFrame *divider(QWidget *parent);

// Over a value control under `root` (slider, combo box, spin box) the wheel
// scrolls whatever scrolls around it, or nothing, and never changes the value;
// the keyboard still does. One filter serves every root.
void wheelScrollsPastControls(QWidget *root);

// The bordered prominent look: the accent colour behind the text; disabled, it
// looks like any other button. Given again after a palette change.
void makeProminent(QPushButton *button);

// The locale of an interface language code ("en", "zh-Hans").
QLocale interfaceLocale(const QString &appLanguage);

} // namespace panelstyle

} // namespace routereel
