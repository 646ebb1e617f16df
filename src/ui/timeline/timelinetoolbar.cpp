#include "timelinetoolbar.h"

#include "timelinemath.h"
#include "timelinepalette.h"
#include "timelineview.h"

#include "timeline/playbackclock.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "ui/icons/symbolicon.h"
#include "ui/state/windowstate.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QToolButton>

#include <cmath>

namespace routereel {

namespace {

using namespace timelinemetrics;
constexpr int sliderSteps = 10000;

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

    m_zoomOut = addButton("zoomOut", QStringLiteral("minus.magnifyingglass"), &TimelineView::zoomOut);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setRange(0, sliderSteps);
    m_slider->setFixedWidth(120);
    connect(m_slider, &QSlider::valueChanged, this,
            [this](int value) { m_view.setZoomSliderPosition(double(value) / sliderSteps); });
    row->addWidget(m_slider);
    m_zoomIn = addButton("zoomIn", QStringLiteral("plus.magnifyingglass"), &TimelineView::zoomIn);
    row->addWidget(divider(this));
    m_align = addButton("align", QStringLiteral("align.horizontal.left"), &TimelineView::alignToZero);
    m_home = addButton("home", QStringLiteral("backward.end.fill"), &TimelineView::goHome);
    m_home->setShortcut(QKeySequence(Qt::Key_Home));
    m_split = addButton("split", QStringLiteral("scissors"), &TimelineView::split);
    m_split->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    // No key here: the window's dispatcher maps Delete and Backspace to deleteSelection().
    m_delete = addButton("delete", QStringLiteral("trash"), &TimelineView::deleteSelection);
    m_clear = addButton("clear", QStringLiteral("xmark.bin"), &TimelineView::requestClear);
    row->addWidget(divider(this));
    QUndoStack *undo = view.engine().undoStack();
    m_undo = addButton("undo", QStringLiteral("arrow.uturn.backward"), nullptr);
    connect(m_undo, &QAction::triggered, undo, &QUndoStack::undo);
    m_redo = addButton("redo", QStringLiteral("arrow.uturn.forward"), nullptr);
    connect(m_redo, &QAction::triggered, undo, &QUndoStack::redo);
    row->addStretch(1);

    m_markerGroup = new QWidget(this);
    auto *markerRow = new QHBoxLayout(m_markerGroup);
    markerRow->setContentsMargins(0, 0, 0, 0);
    markerRow->setSpacing(8);
    m_markerFlag = new QLabel(m_markerGroup);
    m_markerSpan = new QLabel(m_markerGroup);
    m_markerSpan->setObjectName(QStringLiteral("markerSpan"));
    m_markerSpan->setFont(captionMono());
    m_clearMarkers = new QToolButton(m_markerGroup);
    m_clearMarkers->setObjectName(QStringLiteral("clearMarkersButton"));
    m_clearMarkers->setAutoRaise(true);
    m_clearMarkers->setFixedSize(int(toolbarButtonWidth), 20);
    connect(m_clearMarkers, &QToolButton::clicked, &view, &TimelineView::clearMarkers);
    markerRow->addWidget(m_markerFlag);
    markerRow->addWidget(m_markerSpan);
    markerRow->addWidget(m_clearMarkers);
    markerRow->addWidget(divider(m_markerGroup));
    row->addWidget(m_markerGroup);

    m_segmentGroup = new QWidget(this);
    auto *segmentRow = new QHBoxLayout(m_segmentGroup);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(8);
    m_segmentCount = new QLabel(m_segmentGroup);
    m_segmentCount->setObjectName(QStringLiteral("segmentCount"));
    m_segmentCount->setFont(captionMono());
    segmentRow->addWidget(m_segmentCount);
    segmentRow->addWidget(divider(m_segmentGroup));
    row->addWidget(m_segmentGroup);

    m_currentTime = new QLabel(this);
    m_currentTime->setObjectName(QStringLiteral("currentTime"));
    m_slash = new QLabel(this);
    m_endTime = new QLabel(this);
    m_endTime->setObjectName(QStringLiteral("endTime"));
    for (QLabel *label : {m_currentTime, m_slash, m_endTime}) {
        label->setFont(captionMono());
        row->addWidget(label);
    }
    // Keeps the row from jumping as the digits change.
    m_currentTime->setMinimumWidth(m_currentTime->fontMetrics().horizontalAdvance(QStringLiteral("−00:00:00.00")));

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

QAction *TimelineToolbar::addButton(const char *name, const QString &symbol, void (TimelineView::*slot)())
{
    auto *action = new QAction(symbolIcon(symbol), QString(), this);
    action->setObjectName(QString::fromLatin1(name));
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setFixedWidth(int(toolbarButtonWidth));
    layout()->addWidget(button);
    if (slot)
        connect(action, &QAction::triggered, &m_view, slot);
    return action;
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
    m_clearMarkers->setToolTip(tr("Clear Markers"));
    m_clearMarkers->setAccessibleName(tr("Clear Markers"));
    m_slash->setText(tr("/"));
    refresh();
}

void TimelineToolbar::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    if (event->type() == QEvent::PaletteChange)
        refresh();
    QWidget::changeEvent(event);
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
    m_markerGroup->setVisible(span.has_value());
    if (span) {
        m_markerSpan->setText(*span);
        setTextColor(m_markerSpan, orange);
        m_markerFlag->setPixmap(symbolIcon(QStringLiteral("flag.fill"), orange).pixmap(9, 9));
        QColor faded = orange;
        faded.setAlphaF(0.7);
        m_clearMarkers->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), faded));
        m_clearMarkers->setIconSize(QSize(11, 11));
    }
    const qsizetype count = engine.segments().size() + engine.videoSegments().size();
    m_segmentGroup->setVisible(count > 0);
    m_segmentCount->setText(tr("%1 seg").arg(count));
    const QColor secondary = timelinepalette::secondary(palette());
    for (QLabel *label : {m_segmentCount, m_slash, m_endTime})
        setTextColor(label, secondary);
    refreshTimes();
}

void TimelineToolbar::refreshTimes()
{
    const TimelineEngine &engine = m_view.engine();
    const double origin = m_view.timeOrigin();
    m_currentTime->setText(formatTimecode(m_view.clock().playheadTime() - origin, false));
    double end = m_view.videoContentEnd();
    if (m_view.compositionMode() == CompositionMode::overlay) {
        const auto range = engine.gpxTimeRange();
        end = range ? range->upper : 0;
    }
    m_endTime->setText(formatTimecode(std::max(0.0, end - origin), false));
}

} // namespace routereel
