#include "widgetcanvaspreview.h"

#include "widgets/canvasgeometry.h"
#include "overlayview.h"
#include "widgets/overlaybitmap.h"

#include <algorithm>
#include <cmath>

namespace routereel {

WidgetCanvasPreview::WidgetCanvasPreview(QWidget *parent)
    : QWidget(parent)
{
}

WidgetCanvasPreview::~WidgetCanvasPreview()
{
    // The placed views die with QWidget's destructor, after items_: they must not report it.
    for (const Item &item : std::as_const(items_))
        if (item.view)
            disconnect(item.view, nullptr, this, nullptr);
}

void WidgetCanvasPreview::setReferenceSize(const QSizeF &size)
{
    referenceSize_ = size;
    relayout();
}

QRectF WidgetCanvasPreview::canvasRect() const
{
    return aspectFitRect(referenceSize_, QSizeF(size()));
}

double WidgetCanvasPreview::canvasScale() const
{
    const double reference = std::isfinite(referenceSize_.width()) ? std::max(1.0, referenceSize_.width()) : 1.0;
    return canvasRect().width() / reference;
}

QPointF WidgetCanvasPreview::mapToCanvas(const QPointF &point) const
{
    const double k = canvasScale();
    return k > 0 ? (point - canvasRect().topLeft()) / k : QPointF();
}

QPointF WidgetCanvasPreview::mapFromCanvas(const QPointF &canvasPoint) const
{
    return canvasRect().topLeft() + canvasPoint * canvasScale();
}

void WidgetCanvasPreview::placeView(QWidget *view, const QPointF &center, std::optional<QSizeF> size)
{
    if (!view)
        return;
    if (view->parentWidget() != this)
        view->setParent(this);
    Item *item = find(view);
    if (!item) {
        items_.append({view, center, size});
        item = &items_.last();
        if (auto *overlay = qobject_cast<OverlayView *>(view)) {
            connect(overlay, &OverlayView::contentSizeChanged, this, [this, overlay] {
                if (const Item *it = find(overlay))
                    layoutItem(*it);
            });
        }
        connect(view, &QObject::destroyed, this, [this] {
            items_.removeIf([](const Item &i) { return i.view.isNull(); });
        });
    } else {
        item->center = center;
        item->size = size;
    }
    layoutItem(*item);
    view->show();
}

void WidgetCanvasPreview::moveView(QWidget *view, const QPointF &center)
{
    if (Item *item = find(view)) {
        item->center = center;
        layoutItem(*item);
    }
}

void WidgetCanvasPreview::removeView(QWidget *view)
{
    items_.removeIf([view](const Item &i) { return i.view == view; });
}

std::optional<QPointF> WidgetCanvasPreview::viewCenter(const QWidget *view) const
{
    const Item *item = find(view);
    return item ? std::optional(item->center) : std::nullopt;
}

QSizeF WidgetCanvasPreview::viewSize(const QWidget *view) const
{
    const Item *item = find(view);
    if (!item)
        return {};
    if (item->size)
        return *item->size;
    if (const auto *overlay = qobject_cast<const OverlayView *>(view))
        return overlay->contentSize();
    return QSizeF(view->sizeHint());
}

void WidgetCanvasPreview::resizeEvent(QResizeEvent *)
{
    relayout();
}

void WidgetCanvasPreview::layoutItem(const Item &item)
{
    if (!item.view)
        return;
    const double k = canvasScale();
    auto *overlay = qobject_cast<OverlayView *>(item.view.data());
    if (overlay && overlay->canvasScale() != k) {
        const QSignalBlocker block(overlay); // its size follows below
        overlay->setCanvasScale(k);
    }
    QSizeF size = item.size ? *item.size : overlay ? overlay->contentSize() : QSizeF(item.view->sizeHint());
    if (overlay && !item.size && !size.isEmpty()) // room for its shadow, centred on the same place
        size += 2 * QSizeF(overlay->shadowMargin(), overlay->shadowMargin());
    QSizeF pixels = size * k;
    // The view's backing store is a bitmap of this size.
    pixels = QSizeF(std::clamp(std::isfinite(pixels.width()) ? pixels.width() : 0.0, 0.0, double(maxOverlayBitmapSide)),
                    std::clamp(std::isfinite(pixels.height()) ? pixels.height() : 0.0, 0.0, double(maxOverlayBitmapSide)));
    const QPointF centre = mapFromCanvas(item.center);
    const QRectF rect(centre - QPointF(pixels.width() / 2, pixels.height() / 2), pixels);
    item.view->setGeometry(rect.toAlignedRect());
}

void WidgetCanvasPreview::relayout()
{
    for (const Item &item : items_)
        layoutItem(item);
    emit canvasChanged();
}

WidgetCanvasPreview::Item *WidgetCanvasPreview::find(const QWidget *view)
{
    for (Item &item : items_)
        if (item.view == view)
            return &item;
    return nullptr;
}

const WidgetCanvasPreview::Item *WidgetCanvasPreview::find(const QWidget *view) const
{
    for (const Item &item : items_)
        if (item.view == view)
            return &item;
    return nullptr;
}

} // namespace routereel
