#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QSlider;
class QToolButton;

namespace routereel {

class TimelineView;

// The row above the lanes: zoom out, zoom slider, zoom in | Align, Home,
// Split, Delete, Clear | Undo, Redo, then at the trailing edge the marker
// distance, the segment count and "current / end" time.
class TimelineToolbar : public QWidget {
    Q_OBJECT

public:
    explicit TimelineToolbar(TimelineView &view);

    QAction *zoomOutAction() const { return m_zoomOut; }
    QAction *zoomInAction() const { return m_zoomIn; }
    QAction *alignAction() const { return m_align; }
    QAction *homeAction() const { return m_home; }
    QAction *splitAction() const { return m_split; }
    QAction *deleteAction() const { return m_delete; }
    QAction *clearAction() const { return m_clear; }
    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }
    QSlider *zoomSlider() const { return m_slider; }
    QLabel *currentTimeLabel() const { return m_currentTime; }
    QLabel *endTimeLabel() const { return m_endTime; }
    QLabel *segmentCountLabel() const { return m_segmentCount; }
    QLabel *markerSpanLabel() const { return m_markerSpan; }
    QWidget *markerGroup() const { return m_markerGroup; }
    QWidget *segmentCountGroup() const { return m_segmentGroup; }

    // Enabling, readouts and the slider from the current state.
    void refresh();

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QAction *addButton(const char *name, const QString &symbol, void (TimelineView::*slot)());
    void retranslate();
    void refreshTimes();

    TimelineView &m_view;
    QAction *m_zoomOut;
    QSlider *m_slider;
    QAction *m_zoomIn;
    QAction *m_align;
    QAction *m_home;
    QAction *m_split;
    QAction *m_delete;
    QAction *m_clear;
    QAction *m_undo;
    QAction *m_redo;
    QWidget *m_markerGroup;
    QLabel *m_markerFlag;
    QLabel *m_markerSpan;
    QToolButton *m_clearMarkers;
    QWidget *m_segmentGroup;
    QLabel *m_segmentCount;
    QLabel *m_currentTime;
    QLabel *m_slash;
    QLabel *m_endTime;
};

} // namespace routereel
