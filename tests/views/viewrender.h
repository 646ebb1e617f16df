#pragma once

#include <QImage>
#include <QWidget>

#include <cmath>
#include <limits>

// The view drawn alone on a transparent premultiplied image of its size hint.
inline QImage renderView(QWidget &view)
{
    view.resize(view.sizeHint());
    QImage image(view.sizeHint().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline bool isWhite(QRgb px)
{
    return qAlpha(px) > 230 && qRed(px) > 230 && qGreen(px) > 230 && qBlue(px) > 230;
}

// Peak signal-to-noise ratio of two images of one size over their four
// premultiplied channels, in dB; infinite when they are equal.
inline double psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (x.size() != y.size() || x.isNull())
        return 0;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const uchar *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const uchar *>(y.constScanLine(row));
        for (int i = 0; i < x.width() * 4; ++i)
            sum += double(p[i] - q[i]) * double(p[i] - q[i]);
    }
    const double mse = sum / (double(x.width()) * x.height() * 4);
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
}
