#include "elidedlabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

namespace routereel {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, int maxLines, QWidget *parent)
    : QLabel(parent), m_mode(mode), m_maxLines(std::max(1, maxLines))
{
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(m_maxLines > 1);
    setSizePolicy(policy);
    // Some fonts draw underscores below their stated descent.
    setContentsMargins(0, 0, 0, 2);
}

void ElidedLabel::setTextKeepingTail(const QString &text, const QString &tail)
{
    m_tail = text.endsWith(tail) ? tail : QString();
    setText(text);
    update();  // QLabel repaints only when the text itself changed
}

QString ElidedLabel::elidedLine(const QString &line, int width) const
{
    const QFontMetrics metrics = fontMetrics();
    if (m_tail.isEmpty() || !line.endsWith(m_tail) || metrics.horizontalAdvance(line) <= width)
        return metrics.elidedText(line, m_mode, width);
    const int tailWidth = metrics.horizontalAdvance(m_tail);
    const QString head = metrics.elidedText(line.chopped(m_tail.size()), Qt::ElideRight, width - tailWidth);
    // Not even an ellipsis before the tail: the tail is all that can be read.
    if (head.isEmpty())
        return metrics.elidedText(m_tail, Qt::ElideRight, width);
    return head + m_tail;
}

QStringList ElidedLabel::layoutLines(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    if (width <= 0)
        return {};
    QString flat = text();
    if (m_maxLines == 1) {
        flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return {elidedLine(flat, width)};
    }
    QTextLayout layout(flat, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList result;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (result.size() == m_maxLines - 1) {
            // The last line allowed takes the rest of the text, cut at its end.
            QString rest = flat.mid(line.textStart());
            rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
            result << metrics.elidedText(rest, Qt::ElideRight, width);
            break;
        }
        result << flat.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return result;
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const QMargins m = contentsMargins();
    const int width = metrics.horizontalAdvance(text()) + 1;
    const int lines = m_maxLines > 1 ? int(layoutLines(width).size()) : 1;
    return QSize(width + m.left() + m.right(), std::max(1, lines) * metrics.lineSpacing() + m.top() + m.bottom());
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3 + m.left() + m.right(),
                 fontMetrics().lineSpacing() + m.top() + m.bottom());
}

int ElidedLabel::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    const auto lines = std::max<qsizetype>(1, layoutLines(width - m.left() - m.right()).size());
    return int(lines) * fontMetrics().lineSpacing() + m.top() + m.bottom();
}

bool ElidedLabel::isElided() const
{
    QString shown = visibleLines().join(QLatin1Char(' '));
    QString whole = text();
    whole.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return shown.simplified() != whole.simplified();
}

bool ElidedLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty() && isElided()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    const QFontMetrics metrics = fontMetrics();
    const QStringList lines = visibleLines();
    // On baselines, unclipped: a rectangle per line would cut off underscores and descenders.
    int y = area.top() + std::max(0, (area.height() - int(lines.size()) * metrics.lineSpacing()) / 2)
        + metrics.ascent();
    for (const QString &line : lines) {
        painter.drawText(QPoint(area.left(), y), line);
        y += metrics.lineSpacing();
    }
}

} // namespace routereel
