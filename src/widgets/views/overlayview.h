#pragma once

#include <QWidget>

namespace routereel {

// Base of the preview overlay views. Each one lays out its content in
// reference units (the units of the widget canvas) and is shown at the
// canvas's scale: its size is contentSize() × canvasScale(), and its painting
// is scaled to match, so text and lines zoom with the preview.
class OverlayView : public QWidget {
    Q_OBJECT

public:
    explicit OverlayView(QWidget *parent = nullptr);

    // Pixels per reference unit; anything not finite or not positive shows nothing.
    void setCanvasScale(double scale);
    double canvasScale() const { return scale_; }

    // Size of the content in reference units; empty when there is nothing to show.
    virtual QSizeF contentSize() const = 0;

    // The whole view drawn at this opacity (0 to 1).
    void setOpacity(double opacity);
    double opacity() const { return opacity_; }
    // A soft black shadow round the content, 0.4 opaque, of blur radius 4
    // reference units. The view grows by shadowMargin() on every side for it;
    // the content keeps its place at the view's centre.
    void setShadow(bool shadow);
    bool hasShadow() const { return shadow_; }
    double shadowMargin() const { return shadow_ ? 2 * shadowRadius : 0; }
    static constexpr double shadowRadius = 4;

    QSize sizeHint() const override;

signals:
    void contentSizeChanged();

protected:
    // Called with the painter already scaled to reference units.
    virtual void paintContent(QPainter &painter) = 0;
    void paintEvent(QPaintEvent *event) override;

    // Call after any change of the content.
    void contentChanged();

    // The bundled monospaced face at `size` reference units (points of the preview).
    QFont monoFont(double size) const;
    // The bundled sans-serif face.
    QFont sansFont(double size) const;

private:
    double scale_ = 1;
    double opacity_ = 1;
    bool shadow_ = false;
};

// A font size or length that came from a setting: NaN or infinite gives the
// fallback, the rest is kept within [lower, upper].
double boundedViewLength(double value, double fallback, double lower, double upper);

} // namespace routereel
