#include "framedradiobutton.h"

#include "ui/panels/inspector/inspectorlook.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace routereel {

FramedRadioButton::FramedRadioButton(QWidget *parent)
    : QRadioButton(parent)
{
}

QRect FramedRadioButton::circleRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, this);
}

void FramedRadioButton::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect focusRect = style()->subElementRect(QStyle::SE_RadioButtonFocusRect, &option, this);
    option.rect = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_RadioButtonLabel, &option, &painter, this);
    inspectorlook::drawIndicator(painter, palette(), circleRect(), isChecked(), isChecked() || hasFocus(), isDown(),
                                 true);
    // A checked circle already wears the highlight: the focus rings the caption.
    if (hasFocus())
        inspectorlook::drawFocusRing(painter, palette(), focusRect);
}

} // namespace routereel
