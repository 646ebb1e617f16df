#pragma once

#include <QAbstractButton>
#include <QFont>

namespace routereel {

// A link-like button: a symbol beside a title, no frame, the pointing hand
// over its whole area while clicks reach the button. The symbol sits in a
// frame of its own width so that rows of links line up.
class LinkButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit LinkButton(QWidget *parent = nullptr);

    void setSymbol(const QString &name) { m_symbol = name; updateGeometry(); update(); }
    QString symbol() const { return m_symbol; }
    // Symbol and title colours: the accent colour unless set.
    void setSymbolColor(const QColor &color) { m_symbolColor = color; update(); }
    void setTitleColor(const QColor &color) { m_titleColor = color; update(); }
    void setSymbolFont(const QFont &font) { m_symbolFont = font; updateGeometry(); update(); }
    // Width of the symbol's frame (0: the symbol's own size) and the gap to the title.
    void setSymbolFrameWidth(int width) { m_frameWidth = width; updateGeometry(); }
    void setSpacing(int spacing) { m_spacing = spacing; updateGeometry(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int symbolSize() const;

    QString m_symbol;
    QColor m_symbolColor;
    QColor m_titleColor;
    QFont m_symbolFont;
    int m_frameWidth = 0;
    int m_spacing = 8;
};

} // namespace routereel
