#include "heartratewidgetsettings.h"

#include "settingsstore.h"

namespace routereel {

using namespace settingsstore;

HeartRateWidgetSettings::HeartRateWidgetSettings(QObject *parent)
    : TextWidgetSettings(QStringLiteral("heartRateWidget"), parent)
{
    showIcon_ = readBool(key(QLatin1StringView("ShowIcon")), showIcon_);
    showMinMax_ = readBool(key(QLatin1StringView("ShowMinMax")), showMinMax_);
}

void HeartRateWidgetSettings::setShowIcon(bool value)
{
    showIcon_ = value;
    write(key(QLatin1StringView("ShowIcon")), value);
    emit showIconChanged(value);
    emit changed();
}

void HeartRateWidgetSettings::setShowMinMax(bool value)
{
    showMinMax_ = value;
    write(key(QLatin1StringView("ShowMinMax")), value);
    emit showMinMaxChanged(value);
    emit changed();
}

} // namespace routereel
