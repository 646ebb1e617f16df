#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace routereel {

// The window's symbols by their design names ("play.fill", "xmark.circle.fill",
// ...), drawn from the single-colour SVG set in resources/icons. Every view takes
// its symbols from here; an unknown name draws nothing (and is reported once).

// An icon tinted with the application palette's text colour when drawn, faded
// when disabled, so it follows the light and dark palettes without being rebuilt.
QIcon symbolIcon(const QString &name);
// The same symbol in a fixed colour (an alpha below 1 fades it).
QIcon symbolIcon(const QString &name, const QColor &color);
// A pixmap of `pixelSize` logical pixels at the screen's ratio; `weight` scales
// the strokes (below 1 for the large, thin symbols of empty lists).
QPixmap symbolPixmap(const QString &name, const QColor &color, int pixelSize, double weight = 1);
// Draws the symbol centred in the largest square inside `rect`.
void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color,
                 double weight = 1);

// The table of the set: every known name and the file behind it.
QStringList symbolNames();
// ":/icons/<file>.svg" for a known name, empty otherwise.
QString symbolFile(const QString &name);

} // namespace routereel
