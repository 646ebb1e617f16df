#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>

class QPainter;

namespace routereel {

// The panel's symbols by their design names ("scissors", "trash", "xmark.bin",
// "plus.magnifyingglass" ...). Every icon of the panel comes through here, so
// that a drawn icon set can replace these simple line drawings in one place.

// An icon drawn in the palette's text colour at paint time (dimmed when
// disabled), so it follows the light and dark palettes.
QIcon symbolIcon(const QString &name);
// The same drawing in a fixed colour, for painted views.
QIcon symbolIcon(const QString &name, const QColor &color);
void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color);

} // namespace routereel
