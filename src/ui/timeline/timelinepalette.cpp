#include "timelinepalette.h"

namespace routereel::timelinepalette {

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor blue(const QPalette &palette)
{
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

QColor green(const QPalette &palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

QColor orange(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor red(const QPalette &palette)
{
    return isDark(palette) ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor secondary(const QPalette &palette)
{
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(isDark(palette) ? 0.55 : 0.5);
    return c;
}

QColor barLabel()
{
    return QColor(255, 255, 255, int(255 * 0.85));
}

QColor selection()
{
    return QColor(255, 138, 128);
}

QColor controlBackground(const QPalette &palette)
{
    return isDark(palette) ? QColor(30, 30, 30) : palette.color(QPalette::Base);
}

} // namespace routereel::timelinepalette
