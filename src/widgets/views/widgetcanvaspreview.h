#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

namespace routereel {

// The reference canvas of the overlay widgets, shown scaled into whatever room
// the preview has: the largest rectangle of the canvas's aspect that fits,
// centred. Views placed on it are positioned and sized in canvas units, and
// overlay views are told the scale so that they draw zoomed.
class WidgetCanvasPreview : public QWidget {
    Q_OBJECT

public:
    explicit WidgetCanvasPreview(QWidget *parent = nullptr);
    ~WidgetCanvasPreview() override;

    void setReferenceSize(const QSizeF &size);
    QSizeF referenceSize() const { return referenceSize_; }

    // Where the canvas lies in this widget; empty when the reference size is unusable.
    QRectF canvasRect() const;
    // Pixels per canvas unit.
    double canvasScale() const;
    QPointF mapToCanvas(const QPointF &point) const;
    QPointF mapFromCanvas(const QPointF &canvasPoint) const;

    // Places `view` (made a child of the canvas) with its centre at `center`.
    // Without a size, an overlay view takes its own content size and any other
    // view its size hint, read as canvas units.
    void placeView(QWidget *view, const QPointF &center, std::optional<QSizeF> size = std::nullopt);
    void moveView(QWidget *view, const QPointF &center);
    void removeView(QWidget *view);
    std::optional<QPointF> viewCenter(const QWidget *view) const;
    QSizeF viewSize(const QWidget *view) const;

signals:
    // The canvas rectangle or scale changed.
    void canvasChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Item {
        QPointer<QWidget> view;
        QPointF center;
        std::optional<QSizeF> size;
    };
    void layoutItem(const Item &item);
    void relayout();
    Item *find(const QWidget *view);
    const Item *find(const QWidget *view) const;

    QSizeF referenceSize_;
    QList<Item> items_;
};

} // namespace routereel
