#include "shownpicture.h"

#include "frameplacement.h"

namespace routereel {

void ShownPicture::show(const DeckPicture &picture, const PreviewSpan &span, int index)
{
    m_image = picture.image;
    m_fit = span.fit;
    m_natural = span.naturalSize;
    m_start = picture.start;
    m_end = picture.end;
    m_span = index;
}

bool ShownPicture::clear()
{
    const bool had = !m_image.isNull();
    m_image = QImage();
    m_start = m_end = -1;
    m_span = -1;
    return had;
}

bool ShownPicture::covers(int index, double source) const
{
    return !m_image.isNull() && m_span == index && index >= 0 && m_start <= source + 1e-7 && source + 1e-7 < m_end;
}

QTransform ShownPicture::toCanvas(const QSizeF &canvas) const
{
    if (m_image.isNull())
        return {};
    return FramePlacement::of(m_fit, m_natural, canvas).transformFor(m_image.size());
}

} // namespace routereel
