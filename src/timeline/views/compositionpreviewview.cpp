#include "compositionpreviewview.h"

#include "playerview.h"

#include <QPaintEvent>
#include <QPainter>

namespace routereel {

CompositionPreviewView::CompositionPreviewView(CompositionMode mode, PreviewPlayer *player, QWidget *parent)
    : QWidget(parent), m_mode(mode), m_playerView(new PlayerView(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_playerView->setPlayer(player);
    applyMode();
}

QColor CompositionPreviewView::overlayColor()
{
    return QColor::fromRgb(0, 100, 0);
}

void CompositionPreviewView::setMode(CompositionMode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    applyMode();
}

void CompositionPreviewView::setPlayer(PreviewPlayer *player)
{
    m_playerView->setPlayer(player);
}

void CompositionPreviewView::applyMode()
{
    // The player stays attached in overlay mode, so switching back shows its video at once.
    m_playerView->setVisible(m_mode == CompositionMode::regular);
    m_playerView->setGeometry(rect());
    update();
}

void CompositionPreviewView::resizeEvent(QResizeEvent *)
{
    m_playerView->setGeometry(rect());
}

void CompositionPreviewView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), m_mode == CompositionMode::overlay ? overlayColor() : QColor(Qt::black));
}

} // namespace routereel
