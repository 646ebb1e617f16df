#include "support/markingtranslator.h"
#include "support/timelinefixtures.h"

#include "timeline/timelineengine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>

using namespace routereel;
using testsupport::gpx;

namespace {

GPXTrack trackLasting(double seconds)
{
    GPXTrack t;
    TrackPoint a;
    a.time = 1000;
    TrackPoint b;
    b.time = 1000 + seconds;
    t.trackPoints = {a, b};
    t.duration = seconds;
    return t;
}

using State = TimelineEngine::UndoSnapshot;

// Counts emissions of one signal.
struct SignalCount {
    template <typename Signal>
    SignalCount(TimelineEngine *e, Signal signal)
    {
        QObject::connect(e, signal, [this] { ++n; });
    }
    int count() const { return n; }
    int n = 0;
};

State stateOf(const TimelineEngine &e)
{
    return e.undoSnapshot({});
}

} // namespace

TEST(TimelineEngine, LoadAndClearStartNewGenerations)
{
    TimelineEngine e;
    const QUuid first = e.importGeneration();
    EXPECT_EQ(e.undoStack()->count(), 0);

    e.clear();  // empty: no step, but in-flight imports must be dropped
    EXPECT_EQ(e.undoStack()->count(), 0);
    EXPECT_NE(e.importGeneration(), first);

    e.importGPX(trackLasting(10));
    e.importVideo(testsupport::source(5));
    ASSERT_EQ(e.undoStack()->count(), 2);
    const QUuid beforeClear = e.importGeneration();
    e.clear();
    EXPECT_NE(e.importGeneration(), beforeClear);
    EXPECT_EQ(e.undoStack()->count(), 3);
    EXPECT_EQ(e.undoStack()->undoText(), "Clear");
    EXPECT_TRUE(e.segments().isEmpty());
    EXPECT_TRUE(e.videoSources().isEmpty());
    EXPECT_FALSE(e.canvasOrigin());
    e.undoStack()->undo();
    EXPECT_EQ(e.segments().size(), 1);
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1920, 1080));

    const QUuid beforeLoad = e.importGeneration();
    e.load(QSizeF(1280, 720));
    EXPECT_NE(e.importGeneration(), beforeLoad);
    EXPECT_FALSE(e.undoStack()->canUndo());
    EXPECT_FALSE(e.undoStack()->canRedo());
    EXPECT_TRUE(e.segments().isEmpty());
    EXPECT_TRUE(e.videoSegments().isEmpty());
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1280, 720));

    for (const QSizeF bad : {QSizeF(0.5, 720), QSizeF(NAN, 720), QSizeF(1920, INFINITY)}) {
        e.load(bad);
        EXPECT_FALSE(e.canvasOrigin());
    }
}

TEST(TimelineEngine, UndoAndRedoRestoreTheWholeState)
{
    TimelineEngine e;
    const VideoSource hd = testsupport::source(30, 1920, 1080);
    e.importVideo(hd);
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1920, 1080));
    e.importVideo(testsupport::source(10, 3840, 2160));
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1920, 1080));
    e.importGPX(trackLasting(40));
    e.toggleVideoSegmentSelection(e.videoSegments().first().id);
    e.splitAtPlayhead(12);
    e.moveSegment(e.segments().first().id, 7);

    // Walk back through every step, then forward again: each state must come back exactly.
    QList<State> states;
    for (int i = 0; i < e.undoStack()->count(); ++i) {
        states.prepend(stateOf(e));
        const QString name = e.undoStack()->undoText();
        e.undoStack()->undo();
        EXPECT_EQ(e.undoStack()->redoText(), name);
    }
    states.prepend(stateOf(e));
    EXPECT_TRUE(stateOf(e).sameState(stateOf(TimelineEngine())));
    EXPECT_FALSE(e.canvasOrigin());  // the first import fixed it, so undoing it clears it
    for (int i = 1; i < states.size(); ++i) {
        e.undoStack()->redo();
        EXPECT_TRUE(stateOf(e).sameState(states[i])) << "after redo " << i;
    }
    EXPECT_EQ(e.undoStack()->count(), 5);
    EXPECT_EQ(e.undoStack()->text(0), "Import");
    EXPECT_EQ(e.undoStack()->text(2), "Import");
    EXPECT_EQ(e.undoStack()->text(3), "Split");
    EXPECT_EQ(e.undoStack()->text(4), "Move");
}

TEST(TimelineEngine, EditsThatChangeNothingRegisterNoStep)
{
    TimelineEngine e;
    e.importGPX(trackLasting(10));
    e.importVideo(testsupport::source(10));
    const QUuid g = e.segments().first().id;
    const QUuid v = e.videoSegments().first().id;
    const int steps = e.undoStack()->count();

    e.moveSegment(QUuid::createUuid(), 4);
    e.moveVideoSegment(v, 0.0000005);
    e.moveVideoSegment(v, std::numeric_limits<double>::infinity());
    e.deleteSelected();
    e.snapSegment(g);                // already at 0
    e.snapVideoSegment(v);
    e.trimSegmentStart(g, -20, -20, 10);
    e.trimSegmentEnd(g, 10, 10);
    e.trimSegmentEnd(g, 5, 0);       // unknown track duration
    e.alignToZero();
    e.splitAtPlayhead(5);            // nothing selected
    e.importGPX(trackLasting(0));
    e.updateCanvasOrigin(QSizeF(640, 480));
    EXPECT_EQ(e.undoStack()->count(), steps);
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1920, 1080));

    // A GPX move and a delete are the exceptions: a drag that ends where it
    // began is still a "Move", a delete of an unknown id still a "Delete".
    const State before = stateOf(e);
    e.moveSegment(g, 0);
    e.moveSegment(g, -3);  // clamps to where it already is
    EXPECT_EQ(e.undoStack()->count(), steps + 2);
    EXPECT_EQ(e.undoStack()->undoText(), "Move");
    e.deleteSegment(QUuid::createUuid());
    EXPECT_EQ(e.undoStack()->count(), steps + 3);
    EXPECT_EQ(e.undoStack()->undoText(), "Delete");
    e.undoStack()->undo();
    e.undoStack()->undo();
    EXPECT_TRUE(stateOf(e).sameState(before));
    e.moveSegment(g, 2);
    EXPECT_EQ(e.undoStack()->count(), steps + 2);
}

// Step names are used as they stand; only "Align Tracks to Zero" goes through the catalogue.
TEST(TimelineEngine, StepNamesAreNotTranslatedExceptAlign)
{
    testsupport::MarkingTranslator translator;
    TimelineEngine e;
    const VideoSource clip = testsupport::source(30);
    const struct {
        const char *name;
        std::function<void()> edit;
    } steps[] = {
        {"Import", [&] { e.importGPX(trackLasting(40)); }},
        {"Import", [&] { e.importVideo(clip); }},
        {"Move", [&] { e.moveSegment(e.segments()[0].id, 6); }},
        {"Move", [&] { e.moveVideoSegment(e.videoSegments()[0].id, 3); }},
        {"Snap", [&] { e.snapSegment(e.segments()[0].id); }},
        {"Snap", [&] { e.snapVideoSegment(e.videoSegments()[0].id); }},
        {"Trim", [&] { e.trimSegmentEnd(e.segments()[0].id, 30, 40); }},
        {"Trim", [&] { e.endTrimGesture(), e.trimVideoSegmentEnd(e.videoSegments()[0].id, 20); }},
        {"Split", [&] { e.setSelectedId(e.segments()[0].id), e.splitAtPlayhead(10); }},
        {"Split", [&] { e.setSelectedVideoId(e.videoSegments()[0].id), e.splitAtPlayhead(10); }},
        {"Delete", [&] { e.deleteSelected(); }},
        {"Delete", [&] { e.deleteSegment(e.segments()[0].id); }},
        {"Move", [&] { e.moveSegment(e.segments()[0].id, 5); }},
        {"<zh>Align Tracks to Zero", [&] { e.alignToZero(); }},
        {"Clear", [&] { e.clear(); }},
    };
    for (const auto &step : steps) {
        const int before = e.undoStack()->count();
        step.edit();
        ASSERT_EQ(e.undoStack()->count(), before + 1) << step.name;
        EXPECT_EQ(e.undoStack()->undoText(), step.name);
    }
    e.undoStack()->undo();
    EXPECT_EQ(e.undoStack()->redoText(), "Clear");
}

TEST(TimelineEngine, OneTrimDragIsOneStep)
{
    TimelineEngine e;
    e.importGPX(trackLasting(60));
    const QUuid g = e.segments().first().id;
    const State before = stateOf(e);

    for (double delta : {1.0, 2.0, 5.0, 9.0})
        e.trimSegmentEnd(g, 60 - delta, 60);
    EXPECT_EQ(e.undoStack()->count(), 2);
    e.endTrimGesture();
    for (double delta : {1.0, 3.0})
        e.trimSegmentStart(g, delta, delta, 60);
    EXPECT_EQ(e.undoStack()->count(), 3);
    EXPECT_EQ(e.undoStack()->undoText(), "Trim");
    EXPECT_EQ(e.segments().first().gpxEnd, 51);
    EXPECT_EQ(e.segments().first().gpxStart, 3);
    e.undoStack()->undo();
    EXPECT_EQ(e.undoStack()->count(), 3);
    EXPECT_EQ(e.segments().first().gpxStart, 0);
    EXPECT_EQ(e.segments().first().gpxEnd, 51);
    e.undoStack()->redo();
    EXPECT_EQ(e.segments().first().gpxStart, 3);

    // A new gesture is a new step; a gesture that ends where it began leaves none.
    e.endTrimGesture();
    e.trimSegmentEnd(g, 40, 60);
    EXPECT_EQ(e.undoStack()->count(), 4);
    e.endTrimGesture();
    e.trimSegmentEnd(g, 30, 60);
    e.trimSegmentEnd(g, 40, 60);
    EXPECT_EQ(e.undoStack()->count(), 4);
    EXPECT_EQ(e.segments().first().gpxEnd, 40);

    while (e.undoStack()->canUndo())
        e.undoStack()->undo();
    e.undoStack()->redo();
    EXPECT_TRUE(stateOf(e).sameState(before));
}

// A drag that passes back through its start and goes on must not join the
// previous drag's step, nor may a translated step name stop a drag merging.
TEST(TimelineEngine, TrimDragsStaySeparateSteps)
{
    for (const bool translated : {false, true}) {
        SCOPED_TRACE(translated ? "translated" : "untranslated");
        std::optional<testsupport::MarkingTranslator> translator;
        if (translated)
            translator.emplace();
        TimelineEngine e;
        e.importGPX(trackLasting(60));
        e.importGPX(trackLasting(60));
        const QUuid a = e.segments().at(0).id;
        const QUuid b = e.segments().at(1).id;
        const int imports = e.undoStack()->count();

        for (double end : {55.0, 50.0})
            e.trimSegmentEnd(a, end, 60);
        e.endTrimGesture();
        for (double end : {40.0, 50.0, 60.0, 30.0})
            e.trimSegmentEnd(b, end, 60);
        e.endTrimGesture();
        EXPECT_EQ(e.undoStack()->count(), imports + 2);

        e.undoStack()->undo();
        EXPECT_EQ(e.segments().at(0).gpxEnd, 50);
        EXPECT_EQ(e.segments().at(1).gpxEnd, 60);
        e.undoStack()->undo();
        EXPECT_EQ(e.segments().at(0).gpxEnd, 60);
        EXPECT_EQ(e.undoStack()->count(), imports + 2);
    }
}

TEST(TimelineEngine, SelectionIsExclusive)
{
    TimelineEngine e;
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    SignalCount gpxSpy(&e, &TimelineEngine::selectedIdChanged);
    e.setSelectedId(a);
    e.setSelectedVideoId(b);
    EXPECT_TRUE(e.selectedId().isNull());
    EXPECT_EQ(e.selectedVideoId(), b);
    e.setSelectedId({});
    EXPECT_EQ(e.selectedVideoId(), b);
    EXPECT_TRUE(e.hasSelection());
    e.setSelectedId(a);
    EXPECT_TRUE(e.selectedVideoId().isNull());
    EXPECT_EQ(gpxSpy.count(), 3);

    e.toggleVideoSegmentSelection(b);
    EXPECT_TRUE(e.selectedId().isNull());
    EXPECT_EQ(e.selectedVideoId(), b);
    e.toggleVideoSegmentSelection(b);
    EXPECT_FALSE(e.hasSelection());
    e.toggleSegmentSelection(a);
    e.toggleSegmentSelection(a);
    EXPECT_FALSE(e.hasSelection());
    EXPECT_EQ(e.undoStack()->count(), 0);
}

TEST(TimelineEngine, GpxTimeRangeUsesUsableSegmentsOnly)
{
    struct Case {
        const char *name;
        QList<GPXSegment> segments;
        std::optional<TimelineEngine::TimeRange> expected;
    };
    const double nan = std::nan("");
    const QList<Case> cases = {
        {"empty", {}, std::nullopt},
        {"negative offset", {gpx(-1, 5)}, std::nullopt},
        {"not finite", {gpx(nan, 5), gpx(0, INFINITY), gpx(1e308, 1e308)}, std::nullopt},
        {"no length", {gpx(3, 0), gpx(3, -2)}, std::nullopt},
        {"two", {gpx(20, 3), gpx(5, 10)}, TimelineEngine::TimeRange{5, 23}},
        {"mixed", {gpx(nan, 100), gpx(2, 1), gpx(-5, 100)}, TimelineEngine::TimeRange{2, 3}},
    };
    for (const Case &c : cases) {
        TimelineEngine e;
        e.setSegments(c.segments);
        EXPECT_EQ(e.gpxTimeRange(), c.expected) << c.name;
    }
}

TEST(TimelineEngine, CanvasOriginIsSetOnce)
{
    TimelineEngine e;
    SignalCount spy(&e, &TimelineEngine::canvasOriginChanged);
    for (const auto &bad : {std::optional<QSizeF>(), std::optional(QSizeF(0, 0)), std::optional(QSizeF(NAN, 720))})
        e.updateCanvasOrigin(bad);
    EXPECT_FALSE(e.canvasOrigin());
    e.updateCanvasOrigin(QSizeF(1280, 720));
    e.updateCanvasOrigin(QSizeF(1920, 1080));
    EXPECT_EQ(e.canvasOrigin(), QSizeF(1280, 720));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(e.videoSnapshot().canvasSize(), QSizeF(1280, 720));
}

TEST(TimelineEngine, ValuesOutsideTheEngineUndoInOneGroupWithIt)
{
    TimelineEngine e;
    QList<GPXTrack> store = {trackLasting(10), trackLasting(20)};
    e.importGPX(store[0]);
    e.importGPX(store[1]);
    auto read = [&] { return store; };
    auto write = [&](const QList<GPXTrack> &tracks) { store = tracks; };

    // The timeline panel's Clear: tracks and timeline in one step.
    e.undoStack()->beginMacro("Clear");
    e.registerUndoableTracksChange({}, "Clear", read, write);
    e.clear();
    e.undoStack()->endMacro();
    EXPECT_TRUE(store.isEmpty());
    EXPECT_TRUE(e.segments().isEmpty());
    e.undoStack()->undo();
    ASSERT_EQ(store.size(), 2);
    EXPECT_EQ(e.segments().size(), 2);
    e.undoStack()->redo();
    EXPECT_TRUE(store.isEmpty());
    EXPECT_TRUE(e.segments().isEmpty());
    e.undoStack()->undo();

    bool enabled = true;
    e.registerUndoableBoolChange(false, "Delete", [&] { return enabled; }, [&](const bool &v) { enabled = v; });
    EXPECT_FALSE(enabled);
    EXPECT_EQ(e.undoStack()->undoText(), "Delete");
    e.undoStack()->undo();
    EXPECT_TRUE(enabled);
    e.undoStack()->redo();
    EXPECT_FALSE(enabled);
}

TEST(TimelineEngine, WritingSegmentsNotifiesAndDropsTheCaches)
{
    TimelineEngine e;
    QList<GPXTrack> tracks = {trackLasting(10)};
    e.importGPX(tracks[0]);
    const QUuid revision = e.effectiveTrackPoints(tracks).revision;
    EXPECT_EQ(e.effectiveTrackPoints(tracks).revision, revision);
    SignalCount spy(&e, &TimelineEngine::segmentsChanged);
    e.setSegments(e.segments());
    EXPECT_EQ(spy.count(), 0);
    EXPECT_NE(e.effectiveTrackPoints(tracks).revision, revision);
}
