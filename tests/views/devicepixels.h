#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <cmath>

// Checks that a view is drawn at its device's pixels: run at 150 % and 200 % by
// the suite's scaled runs (QT_SCALE_FACTOR), at 200 % when the screen is at 100 %.

// The screen's ratio, or 2 on a screen at 100 %.
inline double deviceRatioFor(const QWidget &view)
{
    const double screen = view.devicePixelRatioF();
    return screen > 1 ? screen : 2.0;
}

// The view drawn alone, as its window would draw it, at `ratio` device pixels per point.
inline QImage grabAtRatio(QWidget &view, double ratio)
{
    QImage image((QSizeF(view.size()) * ratio).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The smallest rectangle holding every pixel whose red exceeds `red` (white ink
// on dark widgets).
inline QRect inkBounds(const QImage &image, int red = 160)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qRed(image.pixel(x, y)) > red)
                box |= QRect(x, y, 1, 1);
    return box;
}

// Whether `area` of `image` is a picture of fewer pixels stretched to `ratio`:
// then at one phase of the ratio's period (2 device pixels at 200 %, 3 at 150 %)
// every column equals the next one in every row. Drawn at the device's pixels,
// edges of text and lines fall at every phase.
inline bool looksStretched(const QImage &image, double ratio, const QRect &area)
{
    int period = 1;
    for (int n = 1; n <= 8; ++n) {
        if (std::fabs(n * ratio - std::round(n * ratio)) < 1e-6) {
            period = int(std::round(n * ratio));
            break;
        }
    }
    if (period < 2 || area.width() < 4 * period)
        return false;
    for (int phase = 0; phase < period; ++phase) {
        bool allSame = true;
        for (int x = area.left() + phase; x < area.right() && allSame; x += period)
            for (int y = area.top(); y <= area.bottom() && allSame; ++y)
                allSame = image.pixel(x, y) == image.pixel(x + 1, y);
        if (allSame)
            return true;
    }
    return false;
}
