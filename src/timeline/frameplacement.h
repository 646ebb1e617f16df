#pragma once

#include <QSizeF>
#include <QTransform>

#include <optional>

namespace routereel {

// Where a decoded picture lands on the canvas. The converter hands over images of
// many sizes (bounded by the view, turned upright or not, pixels square or not);
// each is stretched onto the rectangle its clip is shown in, so that it appears at
// the clip's displayed shape whatever its own proportions.
class FramePlacement {
public:
    FramePlacement() = default;

    // A piece of the composition: the stored picture of `natural` size goes to the
    // canvas by `fit` (upright, at its displayed shape, fitted and centred).
    static FramePlacement composed(const QSizeF &natural, const QTransform &fit);
    // One whole file played as it is: the canvas is its displayed picture.
    static FramePlacement whole(const QSizeF &canvas);
    // A piece's placement: by its fit when it has one, else as a whole file.
    static FramePlacement of(const std::optional<QTransform> &fit, const QSizeF &natural, const QSizeF &canvas);

    // Image pixels -> canvas; the identity for an empty image or placement.
    QTransform transformFor(const QSizeF &image) const;

private:
    QSizeF m_natural;
    QTransform m_fit;
    QSizeF m_canvas;
};

} // namespace routereel
