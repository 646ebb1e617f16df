#pragma once

#include "segmentduration.h"
#include "videodragpreview.h"

#include "timeline/compositionmode.h"

#include <QList>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QMessageBox;

namespace routereel {

class GPXService;
class PlaybackClock;
class TimelineEngine;
class TimelineHeader;
class TimelineScrollArea;
class TimelineSegmentDurationTooltip;
class TimelineToolbar;
class VideoPlayerService;
class WindowState;
struct VideoSegment;

// The timeline panel under the preview: toolbar, header column and a
// horizontally scrolling area with the ruler, the video and GPX lanes, the
// markers and the playhead. It owns the zoom (points per second) and the
// geometry every part shares; edits go to the engine, which records the undo
// steps. Nothing here is saved: zoom, markers and the retained ruler end start
// again with each new panel.
class TimelineView : public QWidget {
    Q_OBJECT

public:
    TimelineView(VideoPlayerService &playerService, PlaybackClock &clock, GPXService &gpxService,
                 TimelineEngine &engine, WindowState &windowState, QWidget *parent = nullptr);
    ~TimelineView() override;

    VideoPlayerService &playerService() const { return m_playerService; }
    PlaybackClock &clock() const { return m_clock; }
    GPXService &gpxService() const { return m_gpxService; }
    TimelineEngine &engine() const { return m_engine; }
    CompositionMode compositionMode() const;
    TimelineToolbar *toolbar() const { return m_toolbar; }
    TimelineScrollArea *scrollArea() const { return m_scrollArea; }
    TimelineSegmentDurationTooltip *durationTooltip() const { return m_tooltip; }

    double pps() const { return m_pps; }
    void setPps(double pps);
    double minPps() const;
    double zoomSliderPosition() const;
    void setZoomSliderPosition(double position);
    void zoomIn();
    void zoomOut();
    // A pinch's total magnification so far (1 + the increments), and its end.
    void pinchChanged(double magnification);
    void pinchEnded();

    // Displayed positions: a video segment being dragged counts at its preview offset.
    double videoSegmentStart(const VideoSegment &segment) const;
    double videoSegmentEnd(const VideoSegment &segment) const;
    double videoContentEnd() const;
    double contentEnd() const;
    double rulerEnd() const;
    double contentWidth() const;
    // The time the ruler and the readout show as zero.
    double timeOrigin() const;
    double retainedMediaEnd() const { return m_retainedMediaEnd; }
    double scrollAreaWidth() const { return m_scrollAreaWidth; }
    void setScrollAreaWidth(double width);

    std::optional<VideoDragPreview> videoDrag() const { return m_videoDrag; }
    void setVideoDrag(const std::optional<VideoDragPreview> &preview);

    QList<double> markers() const { return m_markers; }
    void addMarker(double time);
    void clearMarkers();
    std::optional<QString> markerSpanText() const;

    // Toolbar actions.
    void alignToZero();
    void goHome();
    void split();
    void requestClear();  // asks first; the box's Clear runs clearAll()
    void clearAll();
    // Scrolls (animated) so that the time origin sits at the leading edge.
    void scrollToOrigin();

    QMessageBox *clearConfirmation() const { return m_clearBox; }

public slots:
    // Deletes the selected segment; the window's Delete/Backspace dispatcher calls it.
    void deleteSelection();

signals:
    void ppsChanged();
    // Content, ruler end, origin, retained end or the lowest zoom may have moved.
    void layoutChanged();
    void markersChanged();
    void videoDragChanged();
    void scrollToOriginRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void refresh();
    void retranslate();
    void showHelp();

    VideoPlayerService &m_playerService;
    PlaybackClock &m_clock;
    GPXService &m_gpxService;
    TimelineEngine &m_engine;
    WindowState &m_windowState;

    double m_pps;
    std::optional<double> m_pinchStartPps;
    double m_scrollAreaWidth = 0;
    std::optional<VideoDragPreview> m_videoDrag;
    QList<double> m_markers;
    double m_retainedMediaEnd = 0;
    double m_lastContentEnd = 0;
    double m_lastMinPps = 0;
    double m_lastRulerEnd = 0;
    bool m_monitorInstalled = false;

    TimelineToolbar *m_toolbar;
    TimelineHeader *m_header;
    TimelineScrollArea *m_scrollArea;
    TimelineSegmentDurationTooltip *m_tooltip;
    QMessageBox *m_clearBox = nullptr;  // made on first use, then reused
    QAbstractButton *m_clearButton = nullptr;
    QAbstractButton *m_cancelButton = nullptr;
};

} // namespace routereel
