#pragma once

#include "base/textenum.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace routereel::settingsstore {

// Typed reads of the user's settings: an absent key gives the fallback, a
// stored value of another kind converts as QVariant converts it (a text that
// is no number reads as 0, as the typed getters of a defaults store do).
bool readBool(const QString &key, bool fallback);
double readDouble(const QString &key, double fallback);
int readInt(const QString &key, int fallback, int lower, int upper);

// A text that is not exactly one of the enumeration's stored texts keeps the fallback.
template <typename E>
E readEnum(const QString &key, E fallback)
{
    const QVariant v = QSettings().value(key);
    if (!v.isValid())
        return fallback;
    return enumFromText<E>(v.toString()).value_or(fallback);
}

void write(const QString &key, const QVariant &value);

template <typename E>
void writeEnum(const QString &key, E value)
{
    write(key, enumText(value));
}

// A widget size read back from storage, kept within widgetSizeRange; anything
// that is not a finite number becomes the upper bound.
double boundedWidgetSize(double stored);

} // namespace routereel::settingsstore
