#pragma once

#include <QProxyStyle>

namespace routereel {

// The look of the main toolbar's small icon buttons: a compact rounded tile
// with a faint fill, a hairline border, a stronger fill while pressed and the
// whole tile faded while disabled. Set on each QToolButton with setStyle().
class ToolbarIconButtonStyle : public QProxyStyle {
    Q_OBJECT

public:
    static constexpr QSize minimumLabelSize{22, 18};
    static constexpr int horizontalPadding = 7;
    static constexpr int verticalPadding = 4;
    static constexpr double cornerRadius = 6;
    static constexpr double restingFill = 0.06;
    static constexpr double pressedFill = 0.2;
    static constexpr double borderOpacity = 0.35;
    static constexpr double borderWidth = 0.6;
    static constexpr double disabledOpacity = 0.45;

    ToolbarIconButtonStyle();

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override;
};

} // namespace routereel
