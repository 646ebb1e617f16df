#include "linkbutton.h"

#include "ui/icons/symbolicon.h"

#include <QEvent>
#include <QPainter>

namespace routereel {

LinkButton::LinkButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int LinkButton::symbolSize() const
{
    return m_symbol.isEmpty() ? 0 : QFontMetrics(m_symbolFont).height();
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int symbol = m_symbol.isEmpty() ? 0 : std::max(symbolSize(), m_frameWidth) + m_spacing;
    return {symbol + metrics.horizontalAdvance(text()) + 2, std::max(metrics.height(), symbolSize()) + 2};
}

void LinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(0.6);
    const QColor accent = palette().color(QPalette::Highlight);
    int x = 1;
    if (!m_symbol.isEmpty()) {
        const int size = symbolSize();
        const int frame = std::max(size, m_frameWidth);
        paintSymbol(painter, QRectF(x + (frame - size) / 2.0, (height() - size) / 2.0, size, size), m_symbol,
                    m_symbolColor.isValid() ? m_symbolColor : accent);
        x += frame + m_spacing;
    }
    painter.setPen(m_titleColor.isValid() ? m_titleColor : accent);
    painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    if (hasFocus()) {
        QPen focus(accent, 1, Qt::DotLine);
        painter.setPen(focus);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
}

void LinkButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    QAbstractButton::changeEvent(event);
}

} // namespace routereel
