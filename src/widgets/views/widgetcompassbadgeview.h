#pragma once

#include "overlayview.h"

namespace routereel {

// The round "N" badge that sits on a widget's border where north lies. The
// view covers the widget grown by the badge's size on every side; place it
// with the widget's centre. It lets mouse events through.
class WidgetCompassBadgeView : public OverlayView {
    Q_OBJECT

public:
    explicit WidgetCompassBadgeView(QWidget *parent = nullptr);

    // Thickness of the border (the badge is twice as wide).
    void setTotalWidth(double width);
    // Direction of north in degrees, clockwise from straight up.
    void setAngle(double degrees);
    void setWidgetSize(const QSizeF &size);

    double badgeDiameter() const { return 2 * totalWidth_; }
    // Centre of the badge relative to the widget's top-left corner.
    QPointF badgeCenter() const;

    QSizeF contentSize() const override;

protected:
    void paintContent(QPainter &painter) override;

private:
    double totalWidth_ = 0;
    double angle_ = 0;
    QSizeF widgetSize_;
};

} // namespace routereel
