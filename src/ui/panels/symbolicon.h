#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace routereel {

// The small single-colour symbols of the panels and sheets, drawn in code and
// tinted by the caller so that they follow the palette. Names are the symbol
// names of the design ("clock", "xmark.circle.fill", ...); an unknown name
// draws nothing.
namespace symbolicon {

// `weight` scales the stroke: 1 regular, below 1 light or thin.
QPixmap pixmap(const QString &name, const QColor &color, int pixelSize, double weight = 1);
QIcon icon(const QString &name, const QColor &color, int pixelSize, double weight = 1);
bool isKnown(const QString &name);

} // namespace symbolicon

} // namespace routereel
