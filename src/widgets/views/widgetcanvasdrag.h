#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSizeF>

#include <optional>

class QMouseEvent;
class QWidget;

namespace routereel {

class WidgetCanvasPreview;

// Moves a view placed on a widget canvas by dragging it. The drag is measured
// in canvas units, whatever the zoom of the preview, so the widget follows the
// pointer on every screen, and it keeps the widget's
// centre at least half its size away from every edge of the canvas. A press
// that moves less than minimumDistance screen pixels moves nothing: it is a tap.
//
// The position is the caller's: set it from the model, and store what
// positionChanged() reports. Absent means the widget sits at its default place.
// The view is drawn at the clamped centre, also when the canvas changes size.
class WidgetCanvasDrag : public QObject {
    Q_OBJECT

public:
    WidgetCanvasDrag(WidgetCanvasPreview *canvas, QWidget *view, const QPointF &defaultPosition,
                     const QSizeF &halfSize);

    static constexpr double minimumDistance = 10;

    std::optional<QPointF> position() const { return position_; }
    void setPosition(std::optional<QPointF> position);
    void setDefaultPosition(const QPointF &position);
    void setHalfSize(const QSizeF &halfSize);
    bool isDragging() const { return dragging_; }

signals:
    // A drag moved the widget to this centre (canvas units).
    void positionChanged(const QPointF &position);
    // The left button went down and up on the view without starting a drag.
    void tapped();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void watch(QObject *object);
    void endDrag();
    // The pointer in the canvas's own pixels. Global positions will not do: Qt
    // scales them by the screen under the pointer, so they jump where a window
    // reaches over a screen of another scale.
    QPointF onCanvas(QObject *watched, const QMouseEvent *mouse) const;

    QPointer<WidgetCanvasPreview> canvas_;
    QPointer<QWidget> view_;
    std::optional<QPointF> position_;
    QPointF defaultPosition_;
    QSizeF halfSize_;
    std::optional<QPointF> origin_; // clamped centre when the drag began
    std::optional<QPointF> pressAt_; // on the canvas
    bool dragging_ = false;
};

} // namespace routereel
