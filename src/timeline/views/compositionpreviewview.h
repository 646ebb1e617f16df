#pragma once

#include "timeline/compositionmode.h"

#include <QWidget>

namespace routereel {

class PlayerView;
class PreviewPlayer;

// The preview underneath the widget overlays: the player's video in mode
// "Regular", a flat dark green standing in for it in mode "Overlay"; black
// wherever the picture leaves room.
class CompositionPreviewView : public QWidget {
    Q_OBJECT

public:
    CompositionPreviewView(CompositionMode mode, PreviewPlayer *player, QWidget *parent = nullptr);

    CompositionMode mode() const { return m_mode; }
    void setMode(CompositionMode mode);
    void setPlayer(PreviewPlayer *player);
    PlayerView *playerView() const { return m_playerView; }

    static QColor overlayColor();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyMode();

    CompositionMode m_mode;
    PlayerView *m_playerView;
};

} // namespace routereel
