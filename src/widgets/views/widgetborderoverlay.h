#pragma once

#include "overlayview.h"
#include "widgets/mapenums.h"

#include <optional>

namespace routereel {

// The border of the map or GPS path widget in the preview: its rings laid
// around the widget's outline, outside it, innermost first. The view covers
// the widget grown by the border's width on every side; place it with the
// widget's centre. It lets mouse events through to the widget below.
class WidgetBorderOverlay : public OverlayView {
    Q_OBJECT

public:
    explicit WidgetBorderOverlay(QWidget *parent = nullptr);

    void setLayers(const QList<WidgetBorderLayer> &layers);
    // None: the widget is round; a value: a rounded rectangle with this radius.
    void setCornerRadius(std::optional<double> radius);
    // The decorated widget's size, in reference units.
    void setWidgetSize(const QSizeF &size);

    double totalWidth() const;
    QSizeF contentSize() const override;

    // Draws the rings around `frame` (the widget's own rectangle).
    static void paintBorder(QPainter &painter, const QRectF &frame, const QList<WidgetBorderLayer> &layers,
                            std::optional<double> cornerRadius);

protected:
    void paintContent(QPainter &painter) override;

private:
    QList<WidgetBorderLayer> layers_;
    std::optional<double> cornerRadius_;
    QSizeF widgetSize_;
};

} // namespace routereel
