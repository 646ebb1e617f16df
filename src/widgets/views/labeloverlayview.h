#pragma once

#include "overlayview.h"
#include "widgets/widgettextcolor.h"

namespace routereel {

// The common look of the text widgets in the preview: lines of bold
// monospaced text, centred, on a translucent black box with rounded corners.
class LabelOverlayView : public OverlayView {
    Q_OBJECT

public:
    explicit LabelOverlayView(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    void setFontSize(double size);
    double fontSize() const { return fontSize_; }
    // Carried for the settings; the only colour is white.
    void setTextColor(WidgetTextColor color);

    QSizeF contentSize() const override;

    static constexpr double padding = 3;
    static constexpr double cornerRadius = 3;

protected:
    struct Line {
        QString text;
        double sizeFactor = 1; // of fontSize()
    };
    // The lines shown, top to bottom, spaced by 0.15 × fontSize(); none hides the view.
    void setLines(const QList<Line> &lines);
    void paintContent(QPainter &painter) override;

private:
    QList<Line> lines_;
    double fontSize_ = 18;
    WidgetTextColor textColor_ = WidgetTextColor::white;
};

} // namespace routereel
