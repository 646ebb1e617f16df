#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <QString>

#include <optional>

namespace routereel {

// Export image of a text widget (speed, time of day, heart rate): one line,
// optionally a smaller second line under it, on a translucent dark rounded box
// with a soft shadow. Stateless; safe from any thread.
class TextWidgetRenderer {
public:
    // Null image when the font size or scale gives no drawable bitmap. The box
    // lies in the middle of the image; offset() is the shadow's margin around it.
    static QImage render(const QString &text, const QColor &color, const std::optional<QString> &subText,
                         double fontSize, double scale);

    // Style constants in points, multiplied by the scale.
    static constexpr double padding = 3;
    static constexpr double cornerRadius = 3;
    static constexpr double shadowBlur = 3;
    static constexpr double subTextFactor = 0.8;
    static constexpr double lineGapFactor = 0.15;

    // The box of a rendered image, without the shadow's margin.
    static QSizeF boxSize(const QImage &image);
};

} // namespace routereel
