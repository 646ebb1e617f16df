#pragma once

#include <QGraphicsOpacityEffect>

namespace routereel {

// The inspector's dimming while no track is loaded: the panel at its opacity
// over the background of the column that holds it. Painted over that colour
// rather than over what lies below, which Qt leaves unpainted behind the
// panel's opaque children, so the faded panel shows stale pixels otherwise.
class InspectorFade : public QGraphicsOpacityEffect {
    Q_OBJECT

public:
    explicit InspectorFade(QWidget *panel);

    // The colour the panel fades into: the nearest ancestor that fills its background.
    QColor backgroundColor() const;

protected:
    void draw(QPainter *painter) override;

private:
    QWidget *m_panel;
};

} // namespace routereel
