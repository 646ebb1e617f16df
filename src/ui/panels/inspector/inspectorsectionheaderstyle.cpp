#include "inspectorsectionheaderstyle.h"

#include <QHBoxLayout>
#include <QPainter>

namespace routereel {

InspectorSectionHeaderStyle::InspectorSectionHeaderStyle(QWidget *content, QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(sidePadding, 0, sidePadding, 0);
    layout->addWidget(content, 1, Qt::AlignVCenter);
}

void InspectorSectionHeaderStyle::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.5);
    painter.fillRect(rect(), fill);
    painter.fillRect(QRect(0, height() - 1, width(), 1), palette().color(QPalette::Mid));
}

} // namespace routereel
