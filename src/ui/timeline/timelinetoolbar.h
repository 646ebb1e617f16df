#pragma once

#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace routereel {

class TimelineView;

// The row above the lanes: zoom out, zoom slider, zoom in | Align, Home,
// Split, Delete, Clear | Undo, Redo, then at the trailing edge the marker
// distance, the segment count and "current / end" time. Where the row is too
// narrow for all of them, the less needed ones move into a "more" menu.
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
    QAction *clearMarkersAction() const { return m_clearMarkersAction; }
    QToolButton *overflowButton() const { return m_overflow; }
    // What the "more" menu holds at the present width (it is filled as it opens).
    QMenu *overflowMenu();

    // Enabling, readouts and the slider from the current state.
    void refresh();

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // One place in the row; `dropOrder` as in rowfit (-1: always shown).
    struct Place {
        QWidget *widget = nullptr;  // none: the stretch
        int dropOrder = -1;
        bool separator = false;
        bool wanted = true;
    };

    QAction *addButton(const char *name, const QString &symbol, void (TimelineView::*slot)(), int dropOrder);
    void addPlace(QWidget *widget, int dropOrder, bool separator = false);
    void setWanted(QWidget *widget, bool wanted);
    void retranslate();
    void refreshTimes();
    // Shows what fits the present width; the rest waits in the "more" menu.
    void arrange();
    void fillOverflowMenu();

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
    QAction *m_clearMarkersAction;
    QToolButton *m_overflow;
    QMenu *m_overflowMenu;
    QList<Place> m_places;
    QWidget *m_segmentGroup;
    QLabel *m_segmentCount;
    QLabel *m_currentTime;
    QLabel *m_slash;
    QLabel *m_endTime;
};

} // namespace routereel
