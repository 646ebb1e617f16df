#include "exportqueuebar.h"

#include "capsulelabel.h"
#include "elidedlabel.h"
#include "exporthistorypopover.h"
#include "focusview.h"
#include "panelstyle.h"
#include "progresspercent.h"
#include "progressring.h"
#include "ui/icons/symbolicon.h"

#include "export/exportqueue.h"
#include "export/videoexporter.h"
#include "ui/state/windowstate.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace routereel {

using panelstyle::Tone;

namespace {

// The history popup is a window of its own, and Qt leaves popup windows out of the
// application's accessible children: the bar lists it as its last child while it is
// open (the popup names the bar its parent), as a menu hangs under its menu item.
class QueueBarAccessible : public QAccessibleWidget {
public:
    explicit QueueBarAccessible(ExportQueueBar *bar) : QAccessibleWidget(bar) {}

    int childCount() const override { return QAccessibleWidget::childCount() + (popover() ? 1 : 0); }
    QAccessibleInterface *child(int index) const override
    {
        if (popover() && index == QAccessibleWidget::childCount())
            return QAccessible::queryAccessibleInterface(popover());
        return QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (child && popover() && child->object() == popover())
            return QAccessibleWidget::childCount();
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    ExportHistoryPopover *popover() const { return static_cast<ExportQueueBar *>(widget())->historyPopover(); }
};

QAccessibleInterface *queueBarAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(ExportQueueBar::staticMetaObject.className()) && object)
        return new QueueBarAccessible(static_cast<ExportQueueBar *>(object));
    return nullptr;
}

QToolButton *plainButton(QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    // Tab reaches it, a click leaves the focus where it was (Space keeps playing).
    button->setFocusPolicy(Qt::TabFocus);
    focusview::showFocusRing(button);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0px; }"));
    return button;
}

} // namespace

ExportQueueBar::ExportQueueBar(ExportQueue &queue, WindowState &state, QWidget *parent)
    : QWidget(parent), m_queue(queue), m_state(state)
{
    static const bool accessibleInstalled = (QAccessible::installFactory(queueBarAccessible), true);
    Q_UNUSED(accessibleInstalled);
    setFixedHeight(barHeight);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(8);

    m_ring = new ProgressRing(this);
    auto *ringLayout = new QGridLayout(m_ring);
    ringLayout->setContentsMargins(0, 0, 0, 0);
    m_historyButton = plainButton(m_ring);
    m_historyButton->setIconSize(QSize(13, 13));
    ringLayout->addWidget(m_historyButton, 0, 0, Qt::AlignCenter);
    connect(m_historyButton, &QToolButton::clicked, this, [this] { setHistoryShown(!m_popover); });
    row->addWidget(m_ring);

    m_percent = new QLabel(this);
    m_percent->setFont(panelstyle::font(11, QFont::DemiBold, true));
    row->addWidget(m_percent);

    m_detail = new ElidedLabel(Qt::ElideRight, 1, this);
    m_detail->setFont(panelstyle::font(9, QFont::Normal, true));
    panelstyle::setTone(m_detail, Tone::secondary);
    row->addWidget(m_detail, 1);

    m_cancel = plainButton(this);
    m_cancel->setIconSize(QSize(14, 14));
    connect(m_cancel, &QToolButton::clicked, this, &ExportQueueBar::cancelCurrent);
    row->addWidget(m_cancel);

    m_idle = new QLabel(this);
    m_idle->setFont(panelstyle::font(10));
    m_idle->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    panelstyle::setTone(m_idle, Tone::secondary);
    row->addWidget(m_idle, 1);

    m_badge = new CapsuleLabel(this);
    m_badge->setFont(panelstyle::font(10, QFont::DemiBold, true));
    row->addWidget(m_badge, 0, Qt::AlignVCenter);

    connect(&m_queue, &ExportQueue::currentChanged, this, &ExportQueueBar::refresh);
    connect(&m_queue, &ExportQueue::pendingChanged, this, &ExportQueueBar::refresh);
    connect(&m_queue, &ExportQueue::tickChanged, this, &ExportQueueBar::refresh);
    applyIcons();
    retranslate();
}

QString ExportQueueBar::percentText(double progress)
{
    return progressPercentText(progress);
}

QString ExportQueueBar::detailText(const ExportTaskRuntime &task, const QDateTime &now)
{
    // A clock set back gives the tick an older time than the start: nothing has run yet.
    const double elapsed = std::max(0.0, task.elapsed(now));
    const double progress = task.progress;
    if (!(progress > 0.05))
        return tr("Run %1").arg(formatDuration(elapsed));
    const double remaining = std::max(0.0, elapsed / progress - elapsed);
    return tr("Run %1 · ETA %2").arg(formatDuration(elapsed), formatDuration(remaining));
}

ExportHistoryPopover *ExportQueueBar::historyPopover() const
{
    return m_popover;
}

void ExportQueueBar::setHistoryShown(bool shown)
{
    if (shown == bool(m_popover))
        return;
    if (!shown) {
        m_popover->close();
        return;
    }
    m_popover = new ExportHistoryPopover(m_queue, this);
    m_popover->setLocale(panelstyle::interfaceLocale(m_state.appLanguage()));
    m_popover->popUp(m_historyButton);
}

void ExportQueueBar::cancelCurrent()
{
    // Through the exporter: the task ends by the queue's own path and stays in its history.
    if (m_queue.current())
        m_queue.exporter()->cancel();
}

void ExportQueueBar::refresh()
{
    const std::optional<ExportTaskRuntime> &current = m_queue.current();
    m_ring->setProgress(current ? std::optional<double>(current->progress) : std::nullopt);
    m_percent->setVisible(current.has_value());
    m_detail->setVisible(current.has_value());
    m_cancel->setVisible(current.has_value());
    m_idle->setVisible(!current);
    if (current) {
        m_percent->setText(percentText(current->progress));
        // The time remaining is what the line is for: the time run gives way first.
        const QString detail = detailText(*current, m_queue.tick());
        const qsizetype separator = detail.lastIndexOf(QStringLiteral(" · "));
        m_detail->setTextKeepingTail(detail, separator > 0 ? detail.mid(separator) : QString());
        m_ring->setAccessibleDescription(m_percent->text());
    } else {
        m_ring->setAccessibleDescription(m_idle->text());
    }
    const qsizetype waiting = m_queue.pending().size();
    m_badge->setVisible(waiting > 0);
    m_badge->setText(QStringLiteral("+%1").arg(waiting));
}

void ExportQueueBar::retranslate()
{
    m_historyButton->setToolTip(tr("Export tasks"));
    m_historyButton->setAccessibleName(tr("Export tasks"));
    m_cancel->setToolTip(tr("Cancel current export"));
    m_cancel->setAccessibleName(tr("Cancel current export"));
    m_idle->setText(tr("No active exports"));
    m_ring->setAccessibleName(tr("Export progress"));
    refresh();
}

void ExportQueueBar::applyIcons()
{
    const QColor secondary = panelstyle::color(Tone::secondary, palette());
    m_historyButton->setIcon(symbolIcon(QStringLiteral("clock.arrow.circlepath"), secondary));
    m_cancel->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), secondary));
}

void ExportQueueBar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (!m_badge)  // still being built
        return;
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    } else if (event->type() == QEvent::PaletteChange) {
        applyIcons();
        panelstyle::applyTones(this);
    }
}

} // namespace routereel
