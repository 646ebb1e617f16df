#pragma once

#include <QLabel>

namespace routereel {

// A short white text on an accent-coloured capsule: the ends are half circles at
// whatever height the font gives, in any palette.
class CapsuleLabel : public QLabel {
    Q_OBJECT

public:
    explicit CapsuleLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace routereel
