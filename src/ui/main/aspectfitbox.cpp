#include "aspectfitbox.h"

#include "widgets/canvasgeometry.h"

namespace routereel {

AspectFitBox::AspectFitBox(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void AspectFitBox::setContent(QWidget *content)
{
    if (content == m_content)
        return;
    delete m_content;
    m_content = content;
    if (m_content) {
        m_content->setParent(this);
        m_content->show();
        place();
    }
}

void AspectFitBox::setAspect(const QSizeF &aspect)
{
    if (aspect == m_aspect || !(aspect.width() >= 1 && aspect.height() >= 1))
        return;
    m_aspect = aspect;
    place();
}

void AspectFitBox::resizeEvent(QResizeEvent *)
{
    place();
}

void AspectFitBox::place()
{
    if (m_content)
        m_content->setGeometry(aspectFitRect(m_aspect, QSizeF(size())).toRect());
}

} // namespace routereel
