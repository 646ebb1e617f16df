#pragma once

#include <QLabel>

namespace routereel {

// A one-line label drawn in the secondary text colour of whatever palette it
// has at the time, so it follows a switch between light and dark.
class FadedLabel : public QLabel {
    Q_OBJECT

public:
    explicit FadedLabel(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace routereel
