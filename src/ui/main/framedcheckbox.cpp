#include "framedcheckbox.h"

#include "ui/panels/inspector/inspectorlook.h"

#include <QPainter>
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
    option.rect = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_CheckBoxLabel, &option, &painter, this);
    inspectorlook::drawIndicator(painter, palette(), boxRect(), isChecked(), isChecked(), isDown());
}

} // namespace routereel
