#include "fadedlabel.h"

#include "inspectorlook.h"

#include <QPainter>

namespace routereel {

FadedLabel::FadedLabel(QWidget *parent)
    : QLabel(parent)
{
}

void FadedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(inspectorlook::secondaryColor(palette()));
    painter.drawText(contentsRect(), int(alignment()), text());
}

} // namespace routereel
