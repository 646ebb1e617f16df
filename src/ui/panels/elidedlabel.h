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

    // One line whose end, `tail`, stays whole while the text before it is cut
    // first; only when the tail alone does not fit is it cut too. A later
    // setText() whose text does not end with the tail cuts as usual.
    void setTextKeepingTail(const QString &text, const QString &tail);

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

    QString elidedLine(const QString &line, int width) const;

    Qt::TextElideMode m_mode;
    int m_maxLines;
    QString m_tail;
};

} // namespace routereel
