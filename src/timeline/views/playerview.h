#pragma once

#include "timeline/previewplayer.h"

#include <QPointer>
#include <QWidget>

namespace routereel {

// Shows the player's current picture on its canvas, fitted into the widget with
// black bars where the proportions differ; black while there is no picture.
class PlayerView : public QWidget {
    Q_OBJECT

public:
    explicit PlayerView(QWidget *parent = nullptr);

    PreviewPlayer *player() const { return m_player; }
    // Attaches `player` (none detaches); the same player again changes nothing.
    void setPlayer(PreviewPlayer *player);

    // Where the canvas lies within the widget.
    QRectF canvasRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Scrolling over the video must not scroll anything around it.
    void wheelEvent(QWheelEvent *event) override;

private:
    // `box` grown to the device pixels it touches, in the painter's coordinates.
    static QRectF onWholeDevicePixels(const QRectF &box, const QTransform &toDevice);

    QPointer<PreviewPlayer> m_player;
};

} // namespace routereel
