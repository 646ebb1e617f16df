#include "timelinetoolbar.h"

#include "rowfit.h"
#include "timelinemath.h"
#include "timelinepalette.h"
#include "timelineview.h"

#include "timeline/playbackclock.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "ui/icons/symbolicon.h"
#include "ui/state/windowstate.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QToolButton>
#include <QWidgetAction>

#include <cmath>

namespace routereel {

namespace {

using namespace timelinemetrics;
constexpr int sliderSteps = 10000;
constexpr int sliderWidth = 120;
// Narrower, a slider's steps are too coarse to aim at.
constexpr int sliderMinimumWidth = 48;

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(12);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

void setTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// The slider's own step is one of its 10000: a key press would change nothing
// one could see. Arrows zoom as the zoom buttons do, the Page keys five times
// as far. In the "more" menu Up and Down stay the menu's, to leave the slider.
class ZoomKeys : public QObject {
public:
    ZoomKeys(TimelineView &view, QMenu *menu, QObject *parent) : QObject(parent), m_view(view), m_menu(menu) {}

    static constexpr int pageSteps = 5;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        int steps = 0;
        switch (key->key()) {
        case Qt::Key_Right: steps = 1; break;
        case Qt::Key_Left: steps = -1; break;
        case Qt::Key_Up: steps = 1; break;
        case Qt::Key_Down: steps = -1; break;
        case Qt::Key_PageUp: steps = pageSteps; break;
        case Qt::Key_PageDown: steps = -pageSteps; break;
        default: return false;
        }
        if (m_menu && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            QCoreApplication::sendEvent(m_menu, event);
            return true;
        }
        for (int i = 0; i < std::abs(steps); ++i)
            steps > 0 ? m_view.zoomIn() : m_view.zoomOut();
        return true;
    }

private:
    TimelineView &m_view;
    QMenu *m_menu;
};

QFont captionMono()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    return font;
}

} // namespace

TimelineToolbar::TimelineToolbar(TimelineView &view)
    : QWidget(&view), m_view(view)
{
    setObjectName(QStringLiteral("timelineToolbar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(8);
    setFixedHeight(30);

    // Drop orders: what a narrow row gives up first has the lowest.
    m_zoomOut = addButton("zoomOut", QStringLiteral("minus.magnifyingglass"), &TimelineView::zoomOut, 7);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setRange(0, sliderSteps);
    m_slider->setFixedWidth(sliderWidth);
    m_slider->installEventFilter(new ZoomKeys(view, nullptr, m_slider));
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int value) { m_view.setZoomSliderPosition(double(value) / sliderSteps); });
    addPlace(m_slider, 3);
    m_zoomIn = addButton("zoomIn", QStringLiteral("plus.magnifyingglass"), &TimelineView::zoomIn, 7);
    addPlace(divider(this), -1, true);
    m_align = addButton("align", QStringLiteral("align.horizontal.left"), &TimelineView::alignToZero, 6);
    m_home = addButton("home", QStringLiteral("backward.end.fill"), &TimelineView::goHome, 8);
    m_home->setShortcut(QKeySequence(Qt::Key_Home));
    m_split = addButton("split", QStringLiteral("scissors"), &TimelineView::split, 10);
    m_split->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    // No key here: the window's dispatcher maps Delete and Backspace to deleteSelection().
    m_delete = addButton("delete", QStringLiteral("trash"), &TimelineView::deleteSelection, 9);
    m_clear = addButton("clear", QStringLiteral("xmark.bin"), &TimelineView::requestClear, 5);
    addPlace(divider(this), -1, true);
    QUndoStack *undo = view.engine().undoStack();
    m_undo = addButton("undo", QStringLiteral("arrow.uturn.backward"), nullptr, 4);
    connect(m_undo, &QAction::triggered, undo, &QUndoStack::undo);
    m_redo = addButton("redo", QStringLiteral("arrow.uturn.forward"), nullptr, 4);
    connect(m_redo, &QAction::triggered, undo, &QUndoStack::redo);

    m_overflowMenu = new QMenu(this);
    m_overflowMenu->setObjectName(QStringLiteral("timelineMoreMenu"));
    connect(m_overflowMenu, &QMenu::aboutToShow, this, &TimelineToolbar::fillOverflowMenu);
    m_overflow = new QToolButton(this);
    m_overflow->setObjectName(QStringLiteral("moreButton"));
    m_overflow->setAutoRaise(true);
    m_overflow->setFixedWidth(int(toolbarButtonWidth));
    m_overflow->setIcon(symbolIcon(QStringLiteral("ellipsis")));
    // Opened by hand rather than as the button's menu: no arrow beside the icon.
    connect(m_overflow, &QToolButton::clicked, this,
            [this] { m_overflowMenu->popup(m_overflow->mapToGlobal(QPoint(0, m_overflow->height()))); });
    row->addWidget(m_overflow);
    row->addStretch(1);
    m_places << Place{};

    m_markerGroup = new QWidget(this);
    auto *markerRow = new QHBoxLayout(m_markerGroup);
    markerRow->setContentsMargins(0, 0, 0, 0);
    markerRow->setSpacing(8);
    m_markerFlag = new QLabel(m_markerGroup);
    m_markerSpan = new QLabel(m_markerGroup);
    m_markerSpan->setObjectName(QStringLiteral("markerSpan"));
    m_markerSpan->setFont(captionMono());
    m_clearMarkersAction = new QAction(this);
    m_clearMarkersAction->setObjectName(QStringLiteral("clearMarkers"));
    connect(m_clearMarkersAction, &QAction::triggered, &view, &TimelineView::clearMarkers);
    m_clearMarkers = new QToolButton(m_markerGroup);
    m_clearMarkers->setObjectName(QStringLiteral("clearMarkersButton"));
    m_clearMarkers->setDefaultAction(m_clearMarkersAction);
    m_clearMarkers->setAutoRaise(true);
    m_clearMarkers->setFixedSize(int(toolbarButtonWidth), 20);
    markerRow->addWidget(m_markerFlag);
    markerRow->addWidget(m_markerSpan);
    markerRow->addWidget(m_clearMarkers);
    markerRow->addWidget(divider(m_markerGroup));
    addPlace(m_markerGroup, 2);

    m_segmentGroup = new QWidget(this);
    auto *segmentRow = new QHBoxLayout(m_segmentGroup);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(8);
    m_segmentCount = new QLabel(m_segmentGroup);
    m_segmentCount->setObjectName(QStringLiteral("segmentCount"));
    m_segmentCount->setFont(captionMono());
    segmentRow->addWidget(m_segmentCount);
    segmentRow->addWidget(divider(m_segmentGroup));
    addPlace(m_segmentGroup, 1);

    m_currentTime = new QLabel(this);
    m_currentTime->setObjectName(QStringLiteral("currentTime"));
    m_slash = new QLabel(this);
    m_endTime = new QLabel(this);
    m_endTime->setObjectName(QStringLiteral("endTime"));
    for (QLabel *label : {m_currentTime, m_slash, m_endTime})
        label->setFont(captionMono());
    addPlace(m_currentTime, -1);
    addPlace(m_slash, 11);
    addPlace(m_endTime, 11);
    // Keeps the row from jumping as the digits change.
    m_currentTime->setMinimumWidth(m_currentTime->fontMetrics().horizontalAdvance(QStringLiteral("−00:00:00.00")));
    m_currentTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    TimelineEngine &engine = view.engine();
    for (auto signal : {&TimelineEngine::segmentsChanged, &TimelineEngine::videoSegmentsChanged,
                        &TimelineEngine::videoSourcesChanged, &TimelineEngine::selectedIdChanged,
                        &TimelineEngine::selectedVideoIdChanged})
        connect(&engine, signal, this, &TimelineToolbar::refresh);
    connect(&view, &TimelineView::ppsChanged, this, &TimelineToolbar::refresh);
    connect(&view, &TimelineView::layoutChanged, this, &TimelineToolbar::refresh);
    connect(&view, &TimelineView::markersChanged, this, &TimelineToolbar::refresh);
    connect(&view.playerService(), &VideoPlayerService::isLoadedChanged, this, &TimelineToolbar::refresh);
    connect(&view.clock(), &PlaybackClock::playheadTimeChanged, this, [this] {
        m_split->setEnabled(m_view.engine().canSplit(m_view.clock().playheadTime()));
        refreshTimes();
    });
    retranslate();
}

QAction *TimelineToolbar::addButton(const char *name, const QString &symbol, void (TimelineView::*slot)(),
                                    int dropOrder)
{
    auto *action = new QAction(symbolIcon(symbol), QString(), this);
    action->setObjectName(QString::fromLatin1(name));
    // Held by the row as well, so its key works while its button waits in the "more" menu.
    addAction(action);
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFixedWidth(int(toolbarButtonWidth));
    addPlace(button, dropOrder);
    if (slot)
        connect(action, &QAction::triggered, &m_view, slot);
    return action;
}

void TimelineToolbar::addPlace(QWidget *widget, int dropOrder, bool separator)
{
    layout()->addWidget(widget);
    m_places << Place{.widget = widget, .dropOrder = dropOrder, .separator = separator};
}

void TimelineToolbar::setWanted(QWidget *widget, bool wanted)
{
    for (Place &place : m_places) {
        if (place.widget == widget)
            place.wanted = wanted;
    }
}

void TimelineToolbar::retranslate()
{
    struct Text {
        QAction *action;
        QString title;
        QString help;
    };
    const Text texts[] = {
        {m_zoomOut, tr("Zoom out"), tr("Zoom out")},
        {m_zoomIn, tr("Zoom in"), tr("Zoom in")},
        {m_align, tr("Align Tracks to Zero"), tr("Align video and GPX tracks to zero")},
        {m_home, tr("Home"), tr("Home")},
        {m_split, tr("Split"), tr("Split selected video or GPX segment at playhead (Ctrl+B)")},
        {m_delete, tr("Delete"), tr("Delete selected segment")},
        {m_clear, tr("Clear"), tr("Clear")},
        {m_undo, tr("Undo"), tr("Undo (Ctrl+Z)")},
        {m_redo, tr("Redo"), tr("Redo (Ctrl+Shift+Z)")},
    };
    for (const Text &t : texts) {
        t.action->setText(t.title);
        t.action->setToolTip(t.help);
        for (QObject *w : t.action->associatedObjects()) {
            if (auto *button = qobject_cast<QToolButton *>(w))
                button->setAccessibleName(t.help);
        }
    }
    m_slider->setAccessibleName(tr("Zoom"));
    m_clearMarkersAction->setText(tr("Clear Markers"));
    m_clearMarkersAction->setToolTip(tr("Clear Markers"));
    m_clearMarkers->setAccessibleName(tr("Clear Markers"));
    m_overflow->setToolTip(tr("More timeline controls"));
    m_overflow->setAccessibleName(tr("More timeline controls"));
    m_slash->setText(tr("/"));
    refresh();
}

void TimelineToolbar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    if (event->type() == QEvent::PaletteChange)
        refresh();
    if (event->type() == QEvent::FontChange)
        arrange();
    QWidget::changeEvent(event);
}

void TimelineToolbar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void TimelineToolbar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), timelinepalette::controlBackground(palette()));
}

void TimelineToolbar::refresh()
{
    const TimelineView &view = m_view;
    const TimelineEngine &engine = view.engine();
    const double pps = view.pps();
    const double minPps = view.minPps();
    m_zoomOut->setEnabled(pps > minPps);
    m_zoomIn->setEnabled(pps < maxPps);
    const QSignalBlocker block(m_slider);
    m_slider->setValue(int(std::lround(view.zoomSliderPosition() * sliderSteps)));
    m_align->setEnabled(engine.canAlignToZero());
    m_home->setEnabled(view.playerService().isLoaded());
    m_split->setEnabled(engine.canSplit(view.clock().playheadTime()));
    m_delete->setEnabled(engine.hasSelection());
    m_clear->setEnabled(!engine.videoSources().isEmpty() || !engine.segments().isEmpty());

    const QColor orange = timelinepalette::orange(palette());
    const std::optional<QString> span = view.markerSpanText();
    setWanted(m_markerGroup, span.has_value());
    if (span) {
        m_markerSpan->setText(*span);
        setTextColor(m_markerSpan, orange);
        m_markerFlag->setPixmap(symbolIcon(QStringLiteral("flag.fill"), orange).pixmap(9, 9));
        QColor faded = orange;
        faded.setAlphaF(0.7);
        m_clearMarkersAction->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), faded));
        m_clearMarkers->setIconSize(QSize(11, 11));
    }
    const qsizetype count = engine.segments().size() + engine.videoSegments().size();
    setWanted(m_segmentGroup, count > 0);
    m_segmentCount->setText(tr("%1 seg").arg(count));
    const QColor secondary = timelinepalette::secondary(palette());
    for (QLabel *label : {m_segmentCount, m_slash, m_endTime})
        setTextColor(label, secondary);
    refreshTimes();
    arrange();
}

void TimelineToolbar::refreshTimes()
{
    const TimelineEngine &engine = m_view.engine();
    const double origin = m_view.timeOrigin();
    const int widths = m_currentTime->sizeHint().width() + m_endTime->sizeHint().width();
    m_currentTime->setText(formatTimecode(m_view.clock().playheadTime() - origin, false));
    double end = m_view.videoContentEnd();
    if (m_view.compositionMode() == CompositionMode::overlay) {
        const auto range = engine.gpxTimeRange();
        end = range ? range->upper : 0;
    }
    m_endTime->setText(formatTimecode(std::max(0.0, end - origin), false));
    if (m_currentTime->sizeHint().width() + m_endTime->sizeHint().width() != widths)
        arrange();
}

void TimelineToolbar::arrange()
{
    const auto preferred = [](const QWidget *w) {
        return w->sizeHint().expandedTo(w->minimumSize()).boundedTo(w->maximumSize()).width();
    };
    QList<rowfit::Item> items;
    for (const Place &place : std::as_const(m_places)) {
        rowfit::Item item{.dropOrder = place.dropOrder, .wanted = place.wanted, .separator = place.separator,
                          .breaksRun = !place.widget};
        if (place.widget == m_slider) {
            item.width = sliderWidth;
            item.minimumWidth = sliderMinimumWidth;
        } else if (place.widget) {
            item.width = item.minimumWidth = preferred(place.widget);
        }
        items << item;
    }
    const QMargins margins = layout()->contentsMargins();
    const int spacing = static_cast<QHBoxLayout *>(layout())->spacing();
    const rowfit::Fit fit = rowfit::fit(items, width() - margins.left() - margins.right(), spacing,
                                        int(toolbarButtonWidth));
    for (qsizetype i = 0; i < m_places.size(); ++i) {
        if (QWidget *w = m_places[i].widget)
            w->setVisible(fit.shown[i]);
        if (m_places[i].widget == m_slider)
            m_slider->setFixedWidth(fit.widths[i]);
    }
    m_overflow->setVisible(fit.overflow);
    // The row never asks for more than its last resort: the "more" button and the current time.
    setMinimumWidth(margins.left() + margins.right() + int(toolbarButtonWidth) + spacing + preferred(m_currentTime));
}

QMenu *TimelineToolbar::overflowMenu()
{
    fillOverflowMenu();
    return m_overflowMenu;
}

void TimelineToolbar::fillOverflowMenu()
{
    QMenu &menu = *m_overflowMenu;
    menu.clear();
    const auto info = [&menu](const QString &text, const QIcon &icon = {}) {
        QAction *line = menu.addAction(icon, text);
        line->setEnabled(false);
    };
    for (const Place &place : std::as_const(m_places)) {
        if (!place.widget || place.separator) {
            menu.addSeparator();
            continue;
        }
        if (!place.wanted || place.widget->isVisibleTo(this))
            continue;
        if (auto *button = qobject_cast<QToolButton *>(place.widget)) {
            menu.addAction(button->defaultAction());
        } else if (place.widget == m_slider) {
            auto *zoom = new QWidgetAction(&menu);
            auto *slider = new QSlider(Qt::Horizontal);
            slider->setObjectName(QStringLiteral("menuZoomSlider"));
            slider->setAccessibleName(m_slider->accessibleName());
            slider->setRange(0, sliderSteps);
            slider->setMinimumWidth(sliderWidth);
            slider->setValue(m_slider->value());
            connect(slider, &QSlider::valueChanged, &m_view,
                    [this](int value) { m_view.setZoomSliderPosition(double(value) / sliderSteps); });
            // The zoom buttons of the same menu move it too.
            connect(&m_view, &TimelineView::ppsChanged, slider, [this, slider] {
                const QSignalBlocker block(slider);
                slider->setValue(int(std::lround(m_view.zoomSliderPosition() * sliderSteps)));
            });
            slider->installEventFilter(new ZoomKeys(m_view, &menu, slider));
            auto *holder = new QWidget;
            // The menu hands the keys to its item's widget only when that takes the focus.
            holder->setFocusPolicy(Qt::StrongFocus);
            holder->setFocusProxy(slider);
            auto *line = new QHBoxLayout(holder);
            line->setContentsMargins(12, 4, 12, 4);
            line->addWidget(slider);
            zoom->setDefaultWidget(holder);
            menu.addAction(zoom);
        } else if (place.widget == m_markerGroup) {
            info(m_markerSpan->text(), symbolIcon(QStringLiteral("flag.fill"), timelinepalette::orange(palette())));
            menu.addAction(m_clearMarkersAction);
        } else if (place.widget == m_segmentGroup) {
            info(m_segmentCount->text());
        } else if (place.widget == m_endTime) {
            info(m_currentTime->text() + QLatin1Char(' ') + m_slash->text() + QLatin1Char(' ') + m_endTime->text());
        }
    }
}

} // namespace routereel
