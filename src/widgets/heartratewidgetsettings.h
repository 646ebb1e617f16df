#pragma once

#include "textwidgetsettings.h"

namespace routereel {

// Settings of the heart-rate text widget.
class HeartRateWidgetSettings : public TextWidgetSettings {
    Q_OBJECT
    Q_PROPERTY(bool showIcon READ showIcon WRITE setShowIcon NOTIFY showIconChanged)
    Q_PROPERTY(bool showMinMax READ showMinMax WRITE setShowMinMax NOTIFY showMinMaxChanged)

public:
    explicit HeartRateWidgetSettings(QObject *parent = nullptr);

    bool showIcon() const { return showIcon_; }
    bool showMinMax() const { return showMinMax_; }
    void setShowIcon(bool value);
    void setShowMinMax(bool value);

signals:
    void showIconChanged(bool value);
    void showMinMaxChanged(bool value);

private:
    bool showIcon_ = true;
    bool showMinMax_ = false;
};

} // namespace routereel
