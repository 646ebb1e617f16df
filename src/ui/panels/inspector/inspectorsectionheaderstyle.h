#pragma once

#include <QWidget>

namespace routereel {

// The bar that heads each inspector section, also worn by the composition-mode
// row above the inspector: 28 high, its content centred with 12 on either side,
// on the window colour at half strength with a separator along the bottom.
class InspectorSectionHeaderStyle : public QWidget {
    Q_OBJECT

public:
    static constexpr int barHeight = 28;
    static constexpr int sidePadding = 12;

    // Takes `content`, which keeps its own height and gets the full width.
    explicit InspectorSectionHeaderStyle(QWidget *content, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace routereel
