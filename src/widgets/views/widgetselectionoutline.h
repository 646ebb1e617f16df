#pragma once

#include "overlayview.h"

#include <optional>

namespace routereel {

// The accent-coloured outline round a selected widget: a circle or a rounded
// rectangle grown by `padding` on every side, stroked 2 units wide. Place it
// with the widget's centre, above the widget; it lets mouse events through.
class WidgetSelectionOutline : public OverlayView {
    Q_OBJECT

public:
    explicit WidgetSelectionOutline(QWidget *parent = nullptr);

    // None: the outline is a circle; a value: a rounded rectangle with this radius.
    void setCornerRadius(std::optional<double> radius);
    void setPadding(double padding);
    void setWidgetSize(const QSizeF &size);

    // The stroked shape's rectangle, relative to the widget's top-left corner.
    QRectF outlineRect() const;
    QSizeF contentSize() const override;

    static constexpr double lineWidth = 2;

protected:
    void paintContent(QPainter &painter) override;

private:
    std::optional<double> cornerRadius_;
    double padding_ = 4;
    QSizeF widgetSize_;
};

} // namespace routereel
