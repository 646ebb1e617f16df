#include "heartrategraphwidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

HeartRateGraphWidgetSettings::HeartRateGraphWidgetSettings(QObject *parent)
    : QObject(parent)
{
    enabled_ = readBool(QStringLiteral("hrGraphEnabled"), enabled_);
    width_ = readDouble(QStringLiteral("hrGraphWidth"), width_);
    height_ = readDouble(QStringLiteral("hrGraphHeight"), height_);
    opacity_ = readDouble(QStringLiteral("hrGraphOpacity"), opacity_);
    lineColor_ = readEnum(QStringLiteral("hrGraphLineColor"), lineColor_);
}

void HeartRateGraphWidgetSettings::setEnabled(bool value)
{
    enabled_ = value;
    write(QStringLiteral("hrGraphEnabled"), value);
    emit enabledChanged(value);
    emit changed();
}

void HeartRateGraphWidgetSettings::setWidth(double value)
{
    width_ = value;
    write(QStringLiteral("hrGraphWidth"), value);
    emit widthChanged(value);
    emit changed();
}

void HeartRateGraphWidgetSettings::setHeight(double value)
{
    height_ = value;
    write(QStringLiteral("hrGraphHeight"), value);
    emit heightChanged(value);
    emit changed();
}

void HeartRateGraphWidgetSettings::setOpacity(double value)
{
    opacity_ = value;
    write(QStringLiteral("hrGraphOpacity"), value);
    emit opacityChanged(value);
    emit changed();
}

void HeartRateGraphWidgetSettings::setLineColor(WidgetTextColor value)
{
    lineColor_ = value;
    writeEnum(QStringLiteral("hrGraphLineColor"), value);
    emit lineColorChanged(value);
    emit changed();
}

} // namespace routereel
