#pragma once

#include "timeline/clipdeck.h"
#include "timeline/previewspans.h"

#include <QImage>
#include <QSizeF>
#include <QTransform>

#include <optional>

namespace routereel {

// The picture on the preview's screen, with the span it belongs to and where it
// lands on the canvas.
class ShownPicture {
public:
    void show(const DeckPicture &picture, const PreviewSpan &span, int index);
    // Back to black; whether a picture was there.
    bool clear();

    const QImage &image() const { return m_image; }
    // The span the picture is of; -1 when none is shown.
    int span() const { return m_image.isNull() ? -1 : m_span; }
    // Whether it is span `index`'s picture on screen at source second `source`.
    bool covers(int index, double source) const;
    QTransform toCanvas(const QSizeF &canvas) const;

private:
    QImage m_image;
    std::optional<QTransform> m_fit;
    QSizeF m_natural;
    double m_start = -1; // source range
    double m_end = -1;
    int m_span = -1;
};

} // namespace routereel
