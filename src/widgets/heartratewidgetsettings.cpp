#include "heartratewidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

HeartRateWidgetSettings::HeartRateWidgetSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("heartRateWidgetEnabled"), enabled_);
    fontSize_ = readDouble(QStringLiteral("heartRateWidgetFontSize"), fontSize_);
    opacity_ = readDouble(QStringLiteral("heartRateWidgetOpacity"), opacity_);
    textColor_ = readEnum(QStringLiteral("heartRateWidgetTextColor"), textColor_);
    showIcon_ = readBool(QStringLiteral("heartRateWidgetShowIcon"), showIcon_);
    showMinMax_ = readBool(QStringLiteral("heartRateWidgetShowMinMax"), showMinMax_);
}

void HeartRateWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("heartRateWidgetEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setFontSize(double value)
{
    fontSize_ = value;
    write(QStringLiteral("heartRateWidgetFontSize"), value);
    emit fontSizeChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("heartRateWidgetOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setTextColor(WidgetTextColor value)
{
    textColor_ = value;
    writeEnum(QStringLiteral("heartRateWidgetTextColor"), value);
    emit textColorChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setShowIcon(bool value)
{
    showIcon_ = value;
    write(QStringLiteral("heartRateWidgetShowIcon"), value);
    emit showIconChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setShowMinMax(bool value)
{
    showMinMax_ = value;
    write(QStringLiteral("heartRateWidgetShowMinMax"), value);
    emit showMinMaxChanged(value);
    emit changed();
}

} // namespace routereel
