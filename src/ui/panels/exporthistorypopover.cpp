#include "exporthistorypopover.h"

#include "elidedlabel.h"
#include "focusview.h"
#include "folderreveal.h"
#include "graphemes.h"
#include "panelstyle.h"
#include "progresspercent.h"
#include "screenfit.h"
#include "ui/icons/symbolicon.h"

#include "export/exportqueue.h"
#include "export/videoexporter.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace routereel {

using panelstyle::Tone;

namespace {

struct StatusLook {
    QString icon;
    Tone iconTone;
    QString actionIcon;  // empty: the row has no button
    Tone actionTone = Tone::secondary;
};

StatusLook lookOf(ExportTaskStatus::Kind kind)
{
    switch (kind) {
    case ExportTaskStatus::Kind::pending:
        return {.icon = QStringLiteral("clock"), .iconTone = Tone::secondary,
                .actionIcon = QStringLiteral("xmark"), .actionTone = Tone::secondary};
    case ExportTaskStatus::Kind::running:
        return {.icon = QStringLiteral("circle.dotted"), .iconTone = Tone::accent,
                .actionIcon = QStringLiteral("stop.fill"), .actionTone = Tone::red};
    case ExportTaskStatus::Kind::completed:
        return {.icon = QStringLiteral("checkmark.circle.fill"), .iconTone = Tone::green,
                .actionIcon = QStringLiteral("folder"), .actionTone = Tone::secondary};
    case ExportTaskStatus::Kind::failed:
        return {.icon = QStringLiteral("exclamationmark.circle.fill"), .iconTone = Tone::red, .actionIcon = {}};
    case ExportTaskStatus::Kind::cancelled:
        return {.icon = QStringLiteral("minus.circle.fill"), .iconTone = Tone::secondary, .actionIcon = {}};
    }
    return {};
}

QString actionHelp(ExportTaskStatus::Kind kind)
{
    switch (kind) {
    case ExportTaskStatus::Kind::pending:
        return ExportHistoryPopover::tr("Remove from queue");
    case ExportTaskStatus::Kind::running:
        return ExportHistoryPopover::tr("Cancel");
    case ExportTaskStatus::Kind::completed:
        return ExportHistoryPopover::tr("Show in Folder");
    default:
        return {};
    }
}

// Qt makes the application the parent of every window; this popup hangs under the
// widget that opened it, which lists it among its children, so that an assistive
// tool finds its rows by walking down from the window.
class PopoverAccessible : public QAccessibleWidget {
public:
    explicit PopoverAccessible(QWidget *popover) : QAccessibleWidget(popover, QAccessible::Window) {}

    QAccessibleInterface *parent() const override
    {
        if (QWidget *opener = widget()->parentWidget())
            return QAccessible::queryAccessibleInterface(opener);
        return QAccessibleWidget::parent();
    }
};

QAccessibleInterface *popoverAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(ExportHistoryPopover::staticMetaObject.className()) && object)
        return new PopoverAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

double shownElapsed(const ExportTaskRuntime &task, const QDateTime &now)
{
    return std::max(0.0, task.elapsed(now));
}

} // namespace

ExportHistoryPopover::ExportHistoryPopover(ExportQueue &queue, QWidget *parent)
    : QWidget(parent, Qt::Popup), m_queue(queue)
{
    static const bool accessibleInstalled = (QAccessible::installFactory(popoverAccessible), true);
    Q_UNUSED(accessibleInstalled);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(fixedSize);
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(14, 10, 14, 10);
    m_title = new QLabel(this);
    m_title->setFont(panelstyle::font(13, QFont::DemiBold));
    header->addWidget(m_title);
    header->addStretch(1);
    m_clearHistory = new QPushButton(this);
    m_clearHistory->setFlat(true);
    m_clearHistory->setFont(panelstyle::font(11));
    m_clearHistory->setCursor(Qt::PointingHandCursor);
    panelstyle::setTone(m_clearHistory, Tone::secondary);
    connect(m_clearHistory, &QPushButton::clicked, &m_queue, &ExportQueue::clearHistory);
    focusview::showFocusRing(m_clearHistory);
    header->addWidget(m_clearHistory);
    column->addLayout(header);
    column->addWidget(panelstyle::divider(this));

    m_content = new QStackedWidget(this);
    m_emptyIcon = new QLabel;
    m_emptyText = new QLabel;
    m_emptyText->setFont(panelstyle::font(12));
    panelstyle::setTone(m_emptyText, Tone::secondary);
    m_content->addWidget(panelstyle::centredColumn(m_content, {m_emptyIcon, m_emptyText}));

    m_scroll = panelstyle::scrollingList(m_content, &m_list, &m_listLayout);
    m_content->addWidget(m_scroll);
    column->addWidget(m_content, 1);
    // Tab reaches the rows' buttons from the header: the list follows.
    focusview::followFocus(this);

    connect(&m_queue, &ExportQueue::pendingChanged, this, &ExportHistoryPopover::rebuild);
    connect(&m_queue, &ExportQueue::historyChanged, this, &ExportHistoryPopover::rebuild);
    connect(&m_queue, &ExportQueue::currentChanged, this, [this] {
        // Progress copies keep the same task: only its line changes.
        const std::optional<ExportTaskRuntime> &current = m_queue.current();
        if (current && current->task.id == m_runningId && m_runningStatus)
            updateRunningRow();
        else
            rebuild();
    });
    connect(&m_queue, &ExportQueue::tickChanged, this, &ExportHistoryPopover::updateRunningRow);
    retranslate();
}

QString ExportHistoryPopover::statusLine(const ExportTaskRuntime &task, const QDateTime &now)
{
    const QString elapsed = formatDuration(shownElapsed(task, now));
    switch (task.status.kind()) {
    case ExportTaskStatus::Kind::pending:
        return tr("queued");
    case ExportTaskStatus::Kind::running:
        return progressPercentText(task.progress) + QStringLiteral(" · ") + elapsed;
    case ExportTaskStatus::Kind::completed:
        return tr("completed · %1").arg(elapsed);
    case ExportTaskStatus::Kind::failed:
        return tr("failed · %1").arg(graphemePrefix(task.status.message(), messageGraphemes));
    case ExportTaskStatus::Kind::cancelled:
        return tr("cancelled");
    }
    return {};
}

void ExportHistoryPopover::popUp(QWidget *anchor)
{
    m_anchor = anchor;
    // Cut to the screen when it is smaller: the list scrolls, the header stays.
    layout()->activate();
    const QRect at = screenfit::popupGeometry(anchor, fixedSize, layout()->totalMinimumSize().height());
    setFixedSize(at.size());
    move(at.topLeft());
    show();
}

void ExportHistoryPopover::mousePressEvent(QMouseEvent *event)
{
    // A press on the button that opened the popup only closes it; replayed, it would open it again.
    if (!rect().contains(event->position().toPoint()) && m_anchor
        && m_anchor->rect().contains(m_anchor->mapFromGlobal(event->globalPosition().toPoint())))
        setAttribute(Qt::WA_NoMouseReplay);
    QWidget::mousePressEvent(event);
}

void ExportHistoryPopover::rebuild()
{
    // Later: the button whose click led here may be among the rows.
    while (QLayoutItem *item = m_listLayout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    m_runningStatus.clear();
    m_runningId = QUuid();

    const std::optional<ExportTaskRuntime> &current = m_queue.current();
    const QList<ExportTaskRuntime> &pending = m_queue.pending();
    const QList<ExportTaskRuntime> &history = m_queue.history();
    m_clearHistory->setVisible(!history.isEmpty());
    const bool empty = !current && pending.isEmpty() && history.isEmpty();
    m_content->setCurrentIndex(empty ? 0 : 1);
    if (current) {
        addSection(tr("Running"));
        addRow(*current);
    }
    if (!pending.isEmpty()) {
        addSection(tr("Queued (%n)", nullptr, int(pending.size())));
        for (const ExportTaskRuntime &task : pending)
            addRow(task);
    }
    if (!history.isEmpty()) {
        addSection(tr("History"));
        for (const ExportTaskRuntime &task : history)
            addRow(task);
    }
    m_listLayout->addStretch(1);
}

void ExportHistoryPopover::addSection(const QString &title)
{
    auto *label = new QLabel(title.toUpper(), m_list);
    label->setObjectName(QStringLiteral("sectionTitle"));
    label->setFont(panelstyle::font(9, QFont::DemiBold));
    label->setContentsMargins(14, 8, 14, 4);
    panelstyle::setTone(label, Tone::secondary);
    m_listLayout->addWidget(label);
}

void ExportHistoryPopover::addRow(const ExportTaskRuntime &task)
{
    const StatusLook look = lookOf(task.status.kind());
    auto *row = new QWidget(m_list);
    row->setObjectName(QStringLiteral("taskRow"));
    row->setProperty("taskId", task.task.id);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(14, 5, 14, 5);
    line->setSpacing(8);

    auto *icon = new QLabel(row);
    icon->setPixmap(symbolPixmap(look.icon, panelstyle::color(look.iconTone, palette()), 16));
    line->addWidget(icon);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *title = new ElidedLabel(Qt::ElideMiddle, 1, row);
    title->setObjectName(QStringLiteral("title"));
    title->setText(QFileInfo(task.task.outputURL.toLocalFile()).fileName());
    title->setFont(panelstyle::font(11, QFont::Medium));
    texts->addWidget(title);
    auto *status = new QLabel(statusLine(task, m_queue.tick()), row);
    status->setObjectName(QStringLiteral("status"));
    status->setFont(panelstyle::font(9, QFont::Normal, true));
    status->setWordWrap(true);
    panelstyle::setTone(status, Tone::secondary);
    texts->addWidget(status);
    line->addLayout(texts, 1);
    line->addSpacing(8);

    row->setAccessibleName(title->text());
    row->setAccessibleDescription(status->text());

    if (!look.actionIcon.isEmpty()) {
        auto *action = new QToolButton(row);
        action->setObjectName(QStringLiteral("action"));
        action->setAutoRaise(true);
        action->setFocusPolicy(Qt::TabFocus);
        focusview::showFocusRing(action);
        action->setIcon(symbolIcon(look.actionIcon, panelstyle::color(look.actionTone, palette())));
        action->setIconSize(QSize(16, 16));
        action->setToolTip(actionHelp(task.status.kind()));
        action->setAccessibleName(action->toolTip());
        action->setAccessibleDescription(title->text());  // which file, heard on its own
        connect(action, &QToolButton::clicked, this, [this, task] { runAction(task); });
        line->addWidget(action);
    }
    if (task.status.kind() == ExportTaskStatus::Kind::running) {
        m_runningStatus = status;
        m_runningId = task.task.id;
    }
    m_listLayout->addWidget(row);
}

void ExportHistoryPopover::runAction(const ExportTaskRuntime &task)
{
    switch (task.status.kind()) {
    case ExportTaskStatus::Kind::pending:
        // Started meanwhile: the queue then cancels the running export instead.
        m_queue.cancel(task.task.id);
        break;
    case ExportTaskStatus::Kind::running:
        if (m_queue.current())
            m_queue.exporter()->cancel();
        break;
    case ExportTaskStatus::Kind::completed:
        showInFolder(task.task.outputURL);
        break;
    default:
        break;
    }
}

void ExportHistoryPopover::updateRunningRow()
{
    const std::optional<ExportTaskRuntime> &current = m_queue.current();
    if (m_runningStatus && current && current->task.id == m_runningId) {
        m_runningStatus->setText(statusLine(*current, m_queue.tick()));
        m_runningStatus->parentWidget()->setAccessibleDescription(m_runningStatus->text());
    }
}

void ExportHistoryPopover::retranslate()
{
    m_title->setText(tr("Export Tasks"));
    setAccessibleName(m_title->text());
    m_clearHistory->setText(tr("Clear History"));
    m_emptyText->setText(tr("No export tasks yet"));
    m_scroll->setAccessibleName(tr("Export Task List"));
    m_emptyIcon->setPixmap(
        symbolPixmap(QStringLiteral("tray"), panelstyle::color(Tone::secondary, palette()), 32, 0.6));
    rebuild();
}

void ExportHistoryPopover::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (!m_listLayout)  // still being built
        return;
    panelstyle::followChange(this, event, [this] { retranslate(); });
}

} // namespace routereel
