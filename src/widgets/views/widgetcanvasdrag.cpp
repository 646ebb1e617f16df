#include "widgetcanvasdrag.h"

#include "widgets/canvasgeometry.h"
#include "widgetcanvaspreview.h"

#include <QChildEvent>
#include <QMouseEvent>
#include <QWidget>

#include <cmath>

namespace routereel {

WidgetCanvasDrag::WidgetCanvasDrag(WidgetCanvasPreview *canvas, QWidget *view, const QPointF &defaultPosition,
                                   const QSizeF &halfSize)
    : QObject(view)
    , canvas_(canvas)
    , view_(view)
    , defaultPosition_(defaultPosition)
    , halfSize_(halfSize)
{
    // The drag answers on the view and everything inside it.
    watch(view);
    // The clamp depends on the canvas: a new size may move the widget inward.
    if (canvas)
        connect(canvas, &WidgetCanvasPreview::canvasChanged, this, &WidgetCanvasDrag::place);
}

void WidgetCanvasDrag::place()
{
    // Drawn inside the canvas; the position itself stays as it was given.
    if (canvas_ && view_ && canvas_->viewCenter(view_))
        canvas_->moveView(view_, clampedWidgetCenter(position_.value_or(defaultPosition_), canvas_->referenceSize(),
                                                     halfSize_));
}

void WidgetCanvasDrag::watch(QObject *object)
{
    object->installEventFilter(this);
    for (QObject *child : object->children())
        if (child->isWidgetType())
            watch(child);
}

void WidgetCanvasDrag::setPosition(std::optional<QPointF> position)
{
    position_ = position;
    place();
}

void WidgetCanvasDrag::setDefaultPosition(const QPointF &position)
{
    defaultPosition_ = position;
    place();
}

void WidgetCanvasDrag::setHalfSize(const QSizeF &halfSize)
{
    halfSize_ = halfSize;
    place();
}

QPointF WidgetCanvasDrag::onCanvas(QObject *watched, const QMouseEvent *mouse) const
{
    // Only the view and its children are watched: all of them lie on the canvas.
    return static_cast<QWidget *>(watched)->mapTo(canvas_.data(), mouse->position());
}

void WidgetCanvasDrag::endDrag()
{
    origin_.reset();
    pressAt_.reset();
    dragging_ = false;
}

bool WidgetCanvasDrag::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded: {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (child->isWidgetType())
            watch(child);
        return false;
    }
    case QEvent::Hide:
        if (watched == view_)
            endDrag();
        return false;
    case QEvent::UngrabMouse:
    case QEvent::WindowDeactivate:
        // A drag that was cancelled never sees its release.
        endDrag();
        return false;
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        endDrag();
        if (canvas_)
            pressAt_ = onCanvas(watched, mouse);
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!pressAt_ || !(mouse->buttons() & Qt::LeftButton) || !canvas_ || !view_)
            return false;
        const QPointF moved = onCanvas(watched, mouse) - *pressAt_;
        if (!dragging_ && std::hypot(moved.x(), moved.y()) < minimumDistance)
            return true;
        dragging_ = true;
        const double k = canvas_->canvasScale();
        if (!(k > 0))
            return true;
        const QSizeF canvasSize = canvas_->referenceSize();
        if (!origin_)
            origin_ = clampedWidgetCenter(position_.value_or(defaultPosition_), canvasSize, halfSize_);
        const QPointF centre = clampedWidgetCenter(*origin_ + moved / k, canvasSize, halfSize_);
        position_ = centre;
        canvas_->moveView(view_, centre);
        emit positionChanged(centre);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !pressAt_)
            return false;
        const bool tap = !dragging_;
        endDrag();
        if (tap)
            emit tapped();
        return true;
    }
    default:
        return false;
    }
}

} // namespace routereel
