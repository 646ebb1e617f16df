#pragma once

#include "timeline/playerscriptedplayer.h"

#include "support/timelinefixtures.h"

#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "ui/state/windowstate.h"
#include "ui/timeline/gpxlaneview.h"
#include "ui/timeline/rulerview.h"
#include "ui/timeline/timelinescrollarea.h"
#include "ui/timeline/timelinetoolbar.h"
#include "ui/timeline/timelineview.h"
#include "ui/timeline/videolaneview.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

// The timeline panel in a window of its own with the models the main window
// would give it. At the default width the scroll area is 1000 points wide.
struct TimelinePanel {
    ScriptedPlayer *player = new ScriptedPlayer;
    routereel::VideoPlayerService service{player};
    routereel::GPXService store;
    routereel::TimelineEngine engine;
    routereel::WindowState state;
    QWidget window;
    routereel::TimelineView *view;

    explicit TimelinePanel(int width = 1080)
    {
        view = new routereel::TimelineView(service, *service.clock(), store, engine, state, &window);
        auto *column = new QVBoxLayout(&window);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(view);
        window.resize(width, int(view->height()));
        window.show();
        QApplication::setActiveWindow(&window);  // tests share one display
    }

    routereel::GPXLaneView &gpxLane() const { return *view->scrollArea()->gpxLane(); }
    routereel::VideoLaneView &videoLane() const { return *view->scrollArea()->videoLane(); }
    routereel::RulerView &ruler() const { return *view->scrollArea()->ruler(); }
    routereel::TimelineToolbar &toolbar() const { return *view->toolbar(); }

    // A track of `duration` seconds in the store and its whole length on the lane at `offset`.
    routereel::GPXSegment addTrack(double duration, double offset)
    {
        routereel::GPXTrack track;
        track.duration = duration;
        store.addTrack(track);
        routereel::GPXSegment segment = testsupport::segmentOf(track, 0, duration, offset);
        engine.setSegments(engine.segments() << segment);
        return segment;
    }
    routereel::VideoSegment addClip(double duration, double offset,
                                    const QString &path = QStringLiteral("/clips/ride.mov"))
    {
        const routereel::VideoSource source = testsupport::source(duration, 1920, 1080, true, path);
        routereel::VideoSegment cut = testsupport::cut(source, 0, duration, offset);
        engine.setVideoSources(engine.videoSources() << source);
        engine.setVideoSegments(engine.videoSegments() << cut);
        return cut;
    }
};
