#pragma once

#include <QLabel>
#include <QStringList>

namespace routereel {

// A label that shortens its text to the width it is given instead of growing:
// one line elided at `mode`, or up to `maxLines` wrapped lines with the last
// one cut at its end. text() stays the whole text (screen readers get it all),
// and a shortened text shows whole as the tooltip unless one is set.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideMiddle, int maxLines = 1, QWidget *parent = nullptr);

    // The lines as drawn at the label's present width.
    QStringList visibleLines() const { return layoutLines(contentsRect().width()); }
    bool isElided() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return m_maxLines > 1; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList layoutLines(int width) const;

    Qt::TextElideMode m_mode;
    int m_maxLines;
};

} // namespace routereel
