#include "framedcheckbox.h"

#include "ui/panels/inspector/inspectorlook.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>

namespace routereel {

FramedCheckBox::FramedCheckBox(QWidget *parent)
    : QCheckBox(parent)
{
}

QRect FramedCheckBox::boxRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
}

void FramedCheckBox::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRectF box = QRectF(boxRect()).adjusted(0.5, 0.5, -0.5, -0.5);
    option.rect = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_CheckBoxLabel, &option, &painter, this);

    // The same box as the inspector's switches, so the column reads as one.
    const QPalette &p = palette();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = isChecked() ? p.color(QPalette::Highlight) : p.color(QPalette::Base);
    if (isDown())
        fill = fill.darker(115);
    painter.setPen(QPen(isChecked() ? p.color(QPalette::Highlight) : inspectorlook::tertiaryColor(p), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 3, 3);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + box.width() * 0.22, box.center().y());
        tick.lineTo(box.left() + box.width() * 0.42, box.bottom() - box.height() * 0.25);
        tick.lineTo(box.right() - box.width() * 0.2, box.top() + box.height() * 0.25);
        painter.setPen(QPen(p.color(QPalette::HighlightedText), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
}

} // namespace routereel
