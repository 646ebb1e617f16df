#pragma once

#include <QWidget>

namespace routereel {

// The fixed header column left of the lanes: "Time", "Video", "GPX".
class TimelineHeader : public QWidget {
    Q_OBJECT

public:
    explicit TimelineHeader(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
};

} // namespace routereel
