#include "windowappearance.h"

#include <QStyle>
#include <QStyleFactory>

namespace routereel {

QPalette windowPalette(bool dark)
{
    static QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    QPalette palette = fusion ? fusion->standardPalette() : QPalette();
    if (!dark)
        return palette;
    const QColor window(0x2b, 0x2b, 0x2d);
    const QColor base(0x1e, 0x1e, 0x20);
    const QColor text(0xe8, 0xe8, 0xea);
    const QColor disabledText(0x80, 0x80, 0x84);
    const QColor highlight(0x2f, 0x7c, 0xf6);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, disabledText);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4e));
    palette.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x44));
    palette.setColor(QPalette::Mid, QColor(0x48, 0x48, 0x4c));
    palette.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1a));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, highlight.lighter(130));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

} // namespace routereel
