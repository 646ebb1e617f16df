#include "toolbariconbuttonstyle.h"

#include "ui/panels/panelstyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionToolButton>

namespace routereel {

ToolbarIconButtonStyle::ToolbarIconButtonStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

QSize ToolbarIconButtonStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                                               const QWidget *widget) const
{
    if (type != CT_ToolButton)
        return QProxyStyle::sizeFromContents(type, option, contents, widget);
    return contents.expandedTo(minimumLabelSize) + QSize(2 * horizontalPadding, 2 * verticalPadding);
}

void ToolbarIconButtonStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                                QPainter *painter, const QWidget *widget) const
{
    const auto *button = qstyleoption_cast<const QStyleOptionToolButton *>(option);
    if (control != CC_ToolButton || !button) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    // Disabled is the whole tile faded, label included, never a greyed label.
    if (!(option->state & State_Enabled))
        painter->setOpacity(painter->opacity() * disabledOpacity);
    // The active colours, faded by the opacity above when disabled: the disabled
    // palette's paler text would fade the tile twice.
    QPalette active = option->palette;
    active.setCurrentColorGroup(QPalette::Active);
    const QColor secondary = panelstyle::color(panelstyle::Tone::secondary, active);
    const QRectF tile = QRectF(option->rect);
    QColor fill = secondary;
    fill.setAlphaF(float(option->state & State_Sunken ? pressedFill : restingFill));
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRoundedRect(tile, cornerRadius, cornerRadius);
    // The hairline lies inside the tile's edge.
    QColor border = secondary;
    border.setAlphaF(float(borderOpacity));
    const double inset = borderWidth / 2;
    painter->setPen(QPen(border, borderWidth));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(tile.adjusted(inset, inset, -inset, -inset), cornerRadius - inset, cornerRadius - inset);

    QStyleOptionToolButton label = *button;
    label.state |= State_Enabled;
    label.state &= ~(State_Sunken | State_On | State_MouseOver);  // no press shift: only the fill changes
    label.palette.setCurrentColorGroup(QPalette::Active);
    label.rect = option->rect;
    baseStyle()->drawControl(CE_ToolButtonLabel, &label, painter, widget);
    painter->restore();
}

} // namespace routereel
