#pragma once

#include "widgettextcolor.h"

#include <QObject>

namespace routereel {

// What the clock-time, speed and heart-rate text widgets have in common. Read
// from the user's settings once, at construction; every assignment is written
// back at once, even of an unchanged value. Keys are the widget's prefix
// followed by the setting's name ("speedWidget" + "FontSize").
class TextWidgetSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(double fontSize READ fontSize WRITE setFontSize NOTIFY fontSizeChanged)
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(WidgetTextColor textColor READ textColor WRITE setTextColor NOTIFY textColorChanged)

public:
    bool enabled() const { return enabled_; }
    double fontSize() const { return fontSize_; }
    double opacity() const { return opacity_; }
    WidgetTextColor textColor() const { return textColor_; }

    void setEnabled(bool value);
    void setFontSize(double value);
    void setOpacity(double value);
    void setTextColor(WidgetTextColor value);

signals:
    // Any setting was assigned.
    void changed();
    void enabledChanged(bool value);
    void fontSizeChanged(double value);
    void opacityChanged(double value);
    void textColorChanged(WidgetTextColor value);

protected:
    TextWidgetSettings(const QString &keyPrefix, QObject *parent);

    QString key(QLatin1StringView name) const { return m_keyPrefix + name; }

private:
    QString m_keyPrefix;
    bool enabled_ = false;
    double fontSize_ = 18;
    double opacity_ = 1;
    WidgetTextColor textColor_ = WidgetTextColor::white;
};

} // namespace routereel
