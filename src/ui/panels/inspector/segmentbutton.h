#pragma once

#include <QAbstractButton>

namespace routereel {

// One segment of a segmented picker: the segments of a row share one outline,
// rounded only at the two outer ends; the chosen one is filled with the
// highlight colour. Painted from the current palette, so it follows dark mode.
class SegmentButton : public QAbstractButton {
    Q_OBJECT

public:
    enum class Place { only, first, middle, last };

    explicit SegmentButton(Place place, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Place m_place;
};

} // namespace routereel
