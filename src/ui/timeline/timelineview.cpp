#include "timelineview.h"

#include "gpxlaneview.h"
#include "timelineheader.h"
#include "timelinemath.h"
#include "timelinescrollarea.h"
#include "timelinesegmentdurationhelp.h"
#include "timelinesegmentdurationtooltip.h"
#include "timelinetoolbar.h"
#include "videolaneview.h"

#include "timeline/playbackclock.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "ui/state/windowstate.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

namespace routereel {

namespace {
using namespace timelinemetrics;
}

TimelineView::TimelineView(VideoPlayerService &playerService, PlaybackClock &clock, GPXService &gpxService,
                           TimelineEngine &engine, WindowState &windowState, QWidget *parent)
    : QWidget(parent),
      m_playerService(playerService),
      m_clock(clock),
      m_gpxService(gpxService),
      m_engine(engine),
      m_windowState(windowState),
      m_pps(initialPps)
{
    setObjectName(QStringLiteral("timelineView"));
    setFixedHeight(int(panelHeight));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    m_toolbar = new TimelineToolbar(*this);
    auto *body = new QWidget(this);
    m_header = new TimelineHeader(body);
    m_scrollArea = new TimelineScrollArea(*this, body);
    auto *bodyRow = new QHBoxLayout(body);
    bodyRow->setContentsMargins(0, 0, 0, 0);
    bodyRow->setSpacing(0);
    bodyRow->addWidget(m_header);
    bodyRow->addWidget(m_scrollArea, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_toolbar);
    column->addWidget(body, 1);
    m_tooltip = new TimelineSegmentDurationTooltip(*this);

    connect(&engine, &TimelineEngine::segmentsChanged, this, &TimelineView::refresh);
    connect(&engine, &TimelineEngine::videoSegmentsChanged, this, &TimelineView::refresh);
    // A Clear or a loaded document starts the ruler afresh.
    connect(&engine, &TimelineEngine::importGenerationChanged, this, [this] {
        m_retainedMediaEnd = contentEnd();
        m_lastContentEnd = m_retainedMediaEnd;
        refresh();
    });
    connect(&windowState, &WindowState::compositionModeChanged, this, &TimelineView::refresh);
    connect(&clock, &PlaybackClock::playheadTimeChanged, this, [this] {
        if (rulerEnd() != m_lastRulerEnd)
            refresh();
    });
    for (const TimelineLane *lane : {static_cast<TimelineLane *>(m_scrollArea->videoLane()),
                                     static_cast<TimelineLane *>(m_scrollArea->gpxLane())})
        connect(&lane->durationHelp(), &TimelineSegmentDurationHelp::presentationChanged, this,
                &TimelineView::showHelp);

    m_lastContentEnd = contentEnd();
    m_retainedMediaEnd = std::max(0.0, m_lastContentEnd);
    m_lastMinPps = minPps();
    refresh();
    retranslate();
}

TimelineView::~TimelineView()
{
    qApp->removeEventFilter(this);
}

CompositionMode TimelineView::compositionMode() const
{
    return m_windowState.compositionMode();
}

void TimelineView::retranslate()
{
    setAccessibleName(tr("Timeline"));
    if (m_clearBox) {
        m_clearBox->setWindowTitle(tr("Clear"));
        m_clearBox->setText(tr("Clear"));
        m_clearBox->setInformativeText(tr("This will remove the video and all GPX segments."));
        m_clearButton->setText(tr("Clear"));
        m_cancelButton->setText(tr("Cancel"));
    }
}

void TimelineView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

// --- geometry ---------------------------------------------------------------

double TimelineView::videoSegmentStart(const VideoSegment &segment) const
{
    return m_videoDrag && m_videoDrag->id == segment.id ? m_videoDrag->offset : segment.offset;
}

double TimelineView::videoSegmentEnd(const VideoSegment &segment) const
{
    return videoSegmentStart(segment) + (segment.sourceEnd - segment.sourceStart);
}

double TimelineView::videoContentEnd() const
{
    double end = 0;
    for (const VideoSegment &s : m_engine.videoSegments())
        end = std::max(end, videoSegmentEnd(s));
    return end;
}

double TimelineView::contentEnd() const
{
    double end = videoContentEnd();
    for (const GPXSegment &s : m_engine.segments())
        end = std::max(end, s.offset + s.gpxEnd - s.gpxStart);
    return end;
}

double TimelineView::minPps() const
{
    return minimumZoom(m_retainedMediaEnd, contentEnd(), m_scrollAreaWidth);
}

double TimelineView::rulerEnd() const
{
    return rulerEndTime(m_retainedMediaEnd, contentEnd(), m_clock.playheadTime());
}

double TimelineView::contentWidth() const
{
    return routereel::contentWidth(rulerEnd(), m_pps, m_scrollAreaWidth);
}

double TimelineView::timeOrigin() const
{
    if (compositionMode() == CompositionMode::overlay) {
        const auto range = m_engine.gpxTimeRange();
        return range ? range->lower : 0;
    }
    const QList<VideoSegment> segments = m_engine.videoSegments();
    if (segments.isEmpty())
        return 0;
    double origin = videoSegmentStart(segments.first());
    for (const VideoSegment &s : segments)
        origin = std::min(origin, videoSegmentStart(s));
    return origin;
}

void TimelineView::setScrollAreaWidth(double width)
{
    if (width == m_scrollAreaWidth)
        return;
    m_scrollAreaWidth = width;
    refresh();
}

void TimelineView::setVideoDrag(const std::optional<VideoDragPreview> &preview)
{
    if (preview == m_videoDrag)
        return;
    m_videoDrag = preview;
    emit videoDragChanged();
    refresh();
}

void TimelineView::refresh()
{
    // Trims, moves and deletes never shrink the ruler; only an empty timeline does.
    const double end = contentEnd();
    if (end != m_lastContentEnd) {
        m_lastContentEnd = end;
        m_retainedMediaEnd = end > 0 ? std::max(m_retainedMediaEnd, end) : 0;
    }
    // A rising lowest zoom raises the zoom with it; a falling one leaves it alone.
    const double lowest = minPps();
    if (lowest != m_lastMinPps) {
        m_lastMinPps = lowest;
        setPps(std::min(maxPps, std::max(m_pps, lowest)));
    }
    m_lastRulerEnd = rulerEnd();
    emit layoutChanged();
}

// --- zoom -------------------------------------------------------------------

void TimelineView::setPps(double pps)
{
    if (pps == m_pps || !std::isfinite(pps) || !(pps > 0))
        return;
    m_pps = pps;
    emit ppsChanged();
}

double TimelineView::zoomSliderPosition() const
{
    return routereel::zoomSliderPosition(m_pps, minPps());
}

void TimelineView::setZoomSliderPosition(double position)
{
    setPps(zoomForSliderPosition(position, minPps()));
}

void TimelineView::zoomIn()
{
    setPps(clampedZoom(m_pps * buttonZoomFactor, minPps()));
}

void TimelineView::zoomOut()
{
    setPps(clampedZoom(m_pps / buttonZoomFactor, minPps()));
}

void TimelineView::pinchChanged(double magnification)
{
    const double start = m_pinchStartPps.value_or(m_pps);
    m_pinchStartPps = start;
    if (const std::optional<double> pps = pinchedZoom(start, magnification, minPps()))
        setPps(*pps);
}

void TimelineView::pinchEnded()
{
    m_pinchStartPps.reset();
}

void TimelineView::showEvent(QShowEvent *event)
{
    // Ctrl+wheel zooms the timeline wherever the pointer is in the application.
    if (!m_monitorInstalled) {
        qApp->installEventFilter(this);
        m_monitorInstalled = true;
    }
    QWidget::showEvent(event);
}

void TimelineView::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    m_monitorInstalled = false;
    QWidget::hideEvent(event);
}

bool TimelineView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || watched == nullptr)
        return false;
    auto *wheel = static_cast<QWheelEvent *>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    // The event reaches this filter first for its window, then for each widget
    // it is passed to: taken at the first sight, it zooms once and goes no further.
    const double dy = wheel->pixelDelta().isNull() ? wheel->angleDelta().y() / 8.0 : wheel->pixelDelta().y();
    if (dy != 0)
        setPps(scrolledZoom(m_pps, dy, minPps()));
    wheel->accept();
    return true;
}

// --- markers ----------------------------------------------------------------

void TimelineView::addMarker(double time)
{
    const double end = rulerEnd();
    if (m_markers.size() >= 2)
        m_markers.removeFirst();
    m_markers.append(std::isnan(time) ? 0 : std::max(0.0, std::min(time, end)));
    emit markersChanged();
}

void TimelineView::clearMarkers()
{
    if (m_markers.isEmpty())
        return;
    m_markers.clear();
    emit markersChanged();
}

std::optional<QString> TimelineView::markerSpanText() const
{
    if (m_markers.size() != 2)
        return std::nullopt;
    return routereel::markerSpanText(m_markers[0], m_markers[1]);
}

// --- toolbar actions --------------------------------------------------------

void TimelineView::alignToZero()
{
    if (!m_engine.canAlignToZero())
        return;
    m_engine.alignToZero();
    scrollToOrigin();
}

void TimelineView::goHome()
{
    if (!m_playerService.isLoaded())
        return;
    m_playerService.scrub(timeOrigin());
    scrollToOrigin();
}

void TimelineView::split()
{
    const double t = m_playerService.clock()->playheadTime();
    if (m_engine.canSplit(t))
        m_engine.splitAtPlayhead(t);
}

void TimelineView::deleteSelection()
{
    if (m_engine.hasSelection())
        m_engine.deleteSelected();
}

void TimelineView::requestClear()
{
    if (m_engine.videoSources().isEmpty() && m_engine.segments().isEmpty())
        return;
    if (!m_clearBox) {
        m_clearBox = new QMessageBox(this);
        m_clearBox->setObjectName(QStringLiteral("clearConfirmation"));
        m_clearBox->setIcon(QMessageBox::Warning);
        m_clearBox->setWindowModality(Qt::WindowModal);
        QPushButton *cancel = m_clearBox->addButton(tr("Cancel"), QMessageBox::RejectRole);
        m_clearButton = m_clearBox->addButton(tr("Clear"), QMessageBox::DestructiveRole);
        m_cancelButton = cancel;
        m_clearBox->setDefaultButton(cancel);
        connect(m_clearBox, &QMessageBox::finished, this, [this] {
            if (m_clearBox->clickedButton() == m_clearButton)
                clearAll();
        });
        retranslate();
    }
    m_clearBox->open();
}

void TimelineView::clearAll()
{
    m_playerService.reset();
    // One undo step brings back the tracks and the timeline together. The
    // tracks' change is pushed first, while the store still holds them: the
    // step reads the list to restore when it is pushed.
    QUndoStack *undo = m_engine.undoStack();
    const QString name = QStringLiteral("Clear");
    undo->beginMacro(name);
    GPXService &store = m_gpxService;
    m_engine.registerUndoableTracksChange(
        {}, name, [&store] { return store.tracks(); }, [&store](const QList<GPXTrack> &tracks) { store.setTracks(tracks); });
    m_engine.clear();
    undo->endMacro();
}

void TimelineView::scrollToOrigin()
{
    m_scrollArea->animateScrollTo(timeOrigin() * m_pps);
    emit scrollToOriginRequested();
}

// --- hover help ---------------------------------------------------------------

void TimelineView::showHelp()
{
    // Lanes in view order; the later one's presentation wins.
    std::optional<TimelineSegmentHelpPresentation> shown;
    for (const TimelineLane *lane : {static_cast<TimelineLane *>(m_scrollArea->videoLane()),
                                     static_cast<TimelineLane *>(m_scrollArea->gpxLane())}) {
        if (auto p = lane->durationHelp().presentation())
            shown = p;
    }
    m_tooltip->setPresentation(shown);
}

void TimelineView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showHelp();
}

} // namespace routereel
