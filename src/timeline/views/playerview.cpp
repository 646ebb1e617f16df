#include "playerview.h"

#include "timeline/previewplayer.h"

#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace routereel {

PlayerView::PlayerView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(16, 9);
}

void PlayerView::setPlayer(PreviewPlayer *player)
{
    if (m_player == player)
        return;
    if (m_player)
        m_player->disconnect(this);
    m_player = player;
    if (m_player) {
        connect(m_player, &PreviewPlayer::frameChanged, this, qOverload<>(&QWidget::update));
        m_player->setDisplaySize(size() * devicePixelRatioF());
    }
    update();
}

void PlayerView::resizeEvent(QResizeEvent *)
{
    // Pictures are made at most this large, so painting never scales down a 1080p frame.
    if (m_player)
        m_player->setDisplaySize(size() * devicePixelRatioF());
}

QRectF PlayerView::canvasRect() const
{
    const QSizeF canvas = m_player ? m_player->renderSize() : QSizeF();
    if (canvas.isEmpty())
        return rect();
    const QSizeF fitted = canvas.scaled(size(), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

QRectF PlayerView::onWholeDevicePixels(const QRectF &box, const QTransform &toDevice)
{
    if (toDevice.isRotating() || !toDevice.isInvertible())
        return box;
    // Outward, so that a device pixel the box only partly covers (its edges fall
    // mid-pixel at 150 %) shows the picture rather than the black behind it.
    constexpr double slack = 1e-6;
    const QRectF device = toDevice.mapRect(box);
    const QRectF whole(QPointF(std::floor(device.left() + slack), std::floor(device.top() + slack)),
                       QPointF(std::ceil(device.right() - slack), std::ceil(device.bottom() - slack)));
    return toDevice.inverted().mapRect(whole);
}

void PlayerView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (!m_player)
        return;
    const QImage frame = m_player->displayFrame();
    const QSizeF canvas = m_player->renderSize();
    if (frame.isNull() || canvas.isEmpty())
        return;
    const QRectF target = onWholeDevicePixels(canvasRect(), painter.deviceTransform());
    const QTransform canvasToWidget = QTransform::fromScale(target.width() / canvas.width(),
                                                            target.height() / canvas.height())
        * QTransform::fromTranslate(target.x(), target.y());
    painter.setClipRect(target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(m_player->displayFrameTransform() * canvasToWidget);
    painter.drawImage(QPointF(0, 0), frame);
}

void PlayerView::wheelEvent(QWheelEvent *event)
{
    event->accept();
}

} // namespace routereel
