#include "frameplacement.h"

#include <cmath>

namespace routereel {

namespace {

// How far apart two proportions are, on a scale where a size and its transpose are
// as far from a square as each other.
double proportionGap(const QSizeF &a, const QSizeF &b)
{
    return std::fabs(std::log((a.width() / a.height()) / (b.width() / b.height())));
}

QTransform stretchOnto(const QSizeF &image, const QRectF &target)
{
    return QTransform::fromScale(target.width() / image.width(), target.height() / image.height())
        * QTransform::fromTranslate(target.x(), target.y());
}

} // namespace

FramePlacement FramePlacement::composed(const QSizeF &natural, const QTransform &fit)
{
    FramePlacement p;
    p.m_natural = natural;
    p.m_fit = fit;
    return p;
}

FramePlacement FramePlacement::whole(const QSizeF &canvas)
{
    FramePlacement p;
    p.m_canvas = canvas;
    return p;
}

FramePlacement FramePlacement::of(const std::optional<QTransform> &fit, const QSizeF &natural, const QSizeF &canvas)
{
    return fit && !natural.isEmpty() ? composed(natural, *fit) : whole(canvas);
}

QTransform FramePlacement::transformFor(const QSizeF &image) const
{
    if (image.isEmpty())
        return {};
    if (!m_natural.isEmpty()) {
        const QRectF placed = m_fit.mapRect(QRectF(QPointF(0, 0), m_natural));
        // Pictures usually arrive turned upright already; one still as stored has the
        // stored proportions, and then only a quarter turn tells the two apart.
        const bool quarterTurn = std::fabs(m_fit.m11()) < 1e-9 && std::fabs(m_fit.m22()) < 1e-9;
        if (quarterTurn && proportionGap(image, m_natural) < proportionGap(image, m_natural.transposed()))
            return QTransform::fromScale(m_natural.width() / image.width(), m_natural.height() / image.height())
                * m_fit;
        return stretchOnto(image, placed);
    }
    if (m_canvas.isEmpty())
        return {};
    // A picture that did not come upright keeps its own proportions rather than
    // being squeezed across the turned canvas.
    if (proportionGap(image, m_canvas) > proportionGap(image, m_canvas.transposed())) {
        const double k = std::min(m_canvas.width() / image.width(), m_canvas.height() / image.height());
        return QTransform::fromScale(k, k)
            * QTransform::fromTranslate((m_canvas.width() - image.width() * k) / 2,
                                        (m_canvas.height() - image.height() * k) / 2);
    }
    return stretchOnto(image, QRectF(QPointF(0, 0), m_canvas));
}

} // namespace routereel
