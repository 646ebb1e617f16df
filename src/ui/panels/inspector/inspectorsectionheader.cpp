#include "inspectorsectionheader.h"

#include "inspectorlook.h"

#include "ui/icons/symbolicon.h"

#include <QEvent>
#include <QPainter>

namespace routereel {

namespace {

constexpr double chevronSize = 9;
constexpr int chevronGap = 8;

QFont titleFont()
{
    QFont font;
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

InspectorSectionHeader::InspectorSectionHeader(const QString &title, QWidget *parent)
    : QAbstractButton(parent)
{
    setText(title);
    setObjectName(title);
    setFont(titleFont());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_turn.setDuration(turnMs);
    m_turn.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant &angle) {
        m_angle = angle.toDouble();
        update();
    });
    retranslate();
}

void InspectorSectionHeader::setExpanded(bool expanded, bool animated)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    const double target = expanded ? 90 : 0;
    m_turn.stop();
    if (animated) {
        m_turn.setStartValue(m_angle);
        m_turn.setEndValue(target);
        m_turn.start();
    } else {
        m_angle = target;
        update();
    }
    retranslate();
}

QSize InspectorSectionHeader::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + chevronGap + int(chevronSize),
                 std::max(metrics.height(), int(chevronSize) + 2));
}

void InspectorSectionHeader::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Reached by Tab too: the focused title takes the highlight colour.
    painter.setPen(hasFocus() ? palette().color(QPalette::Highlight) : inspectorlook::secondaryColor(palette()));
    painter.setFont(font());
    const QRect textRect = rect().adjusted(0, 0, -(chevronGap + int(chevronSize)), 0);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text());

    // A right-pointing chevron about its centre, turned clockwise by the angle.
    painter.translate(width() - chevronSize / 2, height() / 2.0);
    painter.rotate(m_angle);
    // Semibold at this small size: twice the set's regular stroke.
    paintSymbol(painter, QRectF(-chevronSize / 2, -chevronSize / 2, chevronSize, chevronSize),
                QStringLiteral("chevron.right"), inspectorlook::tertiaryColor(palette()), 2);
}

void InspectorSectionHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QAbstractButton::changeEvent(event);
}

void InspectorSectionHeader::retranslate()
{
    setAccessibleDescription(m_expanded ? inspectorlook::translated(QT_TRANSLATE_NOOP("SettingsPanelView", "Expanded"))
                                        : inspectorlook::translated(QT_TRANSLATE_NOOP("SettingsPanelView", "Collapsed")));
}

} // namespace routereel
