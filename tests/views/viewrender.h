#pragma once

#include <QImage>
#include <QWidget>

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
