#include "textwidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

TextWidgetSettings::TextWidgetSettings(const QString &keyPrefix, QObject *parent)
    : QObject(parent), m_keyPrefix(keyPrefix)
{
    enabled_ = readBool(key(QLatin1StringView("Enabled")), enabled_);
    fontSize_ = readDouble(key(QLatin1StringView("FontSize")), fontSize_);
    opacity_ = readDouble(key(QLatin1StringView("Opacity")), opacity_);
    textColor_ = readEnum(key(QLatin1StringView("TextColor")), textColor_);
}

void TextWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(key(QLatin1StringView("Enabled")), value);
    emit enabledChanged(value);
    emit changed();
}

void TextWidgetSettings::setFontSize(double value)
{
    fontSize_ = value;
    write(key(QLatin1StringView("FontSize")), value);
    emit fontSizeChanged(value);
    emit changed();
}

void TextWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(key(QLatin1StringView("Opacity")), value);
    emit opacityChanged(value);
    emit changed();
}

void TextWidgetSettings::setTextColor(WidgetTextColor value)
{
    textColor_ = value;
    writeEnum(key(QLatin1StringView("TextColor")), value);
    emit textColorChanged(value);
    emit changed();
}

} // namespace routereel
