#include "projectfakes.h"
#include "support/trackfixtures.h"

#include "media/videotimelineerror.h"

#include <gtest/gtest.h>

using namespace routereel;
using namespace projecttest;

namespace {

// A document whose video files exist (empty files: the probe is faked).
struct VideoProject {
    QTemporaryDir dir;
    ProjectDocument document;
    QList<QUuid> ids;

    explicit VideoProject(int files)
        : document(baseDocument())
    {
        document.playheadTime = 7.5;
        QList<VideoFileRef> refs;
        for (int i = 0; i < files; ++i) {
            const QString path = dir.path() + QStringLiteral("/clip%1.mp4").arg(i);
            writeFile(path, "not probed for real");
            ids.append(QUuid::createUuid());
            refs.append(VideoFileRef{ids.last(), path, std::nullopt});
        }
        document.videoFiles = refs;
    }
    VideoSegment cut(int file, double start, double end, double offset) const
    {
        return VideoSegment{QUuid::createUuid(), ids[file], start, end, offset};
    }
};

struct RestoreHarness : Harness {
    ControlledProbe probe;
    RestoreHarness() { session.setVideoProbe(probe.function()); }
    FakePlayer &player() { return window->playerObject; }
    TimelineEngine &engine() { return window->engineObject; }
    bool probing(qsizetype count) { return spinUntil([&] { return probe.calls.size() == count; }); }
    // Waits for probe `index` and lets it find a clip of `duration` seconds.
    bool answer(qsizetype index, double duration, QSizeF resolution = QSizeF(1280, 720))
    {
        if (!probing(index + 1))
            return false;
        probe.succeed(index, duration, resolution);
        return true;
    }
    bool restored() { return spinUntil([&] { return !session.isRestoringVideo(); }); }
    bool answer(qsizetype index, const VideoSource &found)
    {
        if (!probing(index + 1))
            return false;
        probe.succeed(index, found);
        return true;
    }
};

// What the probe finds in a clip: its length to the last picture, the length the
// file states (MP4 rounds it up; an empty edit before the picture adds to it).
VideoSource clipFound(double duration, double stated, double fps)
{
    VideoSource source;
    source.duration = duration;
    source.statedDuration = stated;
    source.fps = fps;
    source.resolution = QSizeF(1280, 720);
    return source;
}

} // namespace

TEST(VideoRestore, StartsAfterTheApplyAndMakesOneSegmentPerSourceWithoutSavedCuts)
{
    RestoreHarness h;
    VideoProject project(2);
    h.session.applyProject(project.document);
    EXPECT_TRUE(h.probe.calls.isEmpty());  // nothing runs inside the apply
    ASSERT_TRUE(h.probing(1));
    EXPECT_EQ(h.probe.calls[0].id, project.ids[0]);
    h.probe.succeed(0, 10, QSizeF(1920, 1080));
    ASSERT_TRUE(h.answer(1, 4));
    ASSERT_TRUE(h.restored());

    const auto sources = h.engine().videoSources();
    ASSERT_EQ(sources.size(), 2);
    EXPECT_EQ(sources[0].id, project.ids[0]);
    EXPECT_EQ(sources[1].id, project.ids[1]);
    const auto segments = h.engine().videoSegments();
    ASSERT_EQ(segments.size(), 2);
    EXPECT_EQ(std::pair(segments[0].sourceEnd, segments[0].offset), std::pair(10.0, 0.0));
    EXPECT_EQ(std::pair(segments[1].sourceEnd, segments[1].offset), std::pair(4.0, 0.0));
    // No stored canvas: the first source decides.
    EXPECT_EQ(h.engine().canvasOrigin(), QSizeF(1920, 1080));
}

TEST(VideoRestore, SavedCutsAreKeptOnlyWithinTheirProbedSource)
{
    RestoreHarness h;
    VideoProject project(1);
    const QList<VideoSegment> saved = {
        project.cut(0, 0, 10.0000005, 0),   // within the tolerance: kept, to the clip's end
        project.cut(0, 0, 10.04, 20),       // beyond it and a frame: dropped
        project.cut(0, 3, 3, 30),           // empty: dropped
        project.cut(0, 1, 2, -0.1),         // before the timeline: dropped
        VideoSegment{QUuid::createUuid(), QUuid::createUuid(), 0, 1, 0},  // no such source
        project.cut(0, 2, 5, 40),           // kept, after the first
    };
    project.document.videoSegments = saved;
    project.document.canvasOrigin = QSizeF(640, 360);
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, 10));
    ASSERT_TRUE(h.restored());
    VideoSegment clamped = saved[0];
    clamped.sourceEnd = 10;
    EXPECT_EQ(h.engine().videoSegments(), (QList<VideoSegment>{clamped, saved[5]}));
    EXPECT_EQ(h.engine().canvasOrigin(), QSizeF(640, 360));  // the stored canvas wins
}

TEST(VideoRestore, AFailedProbeIsReportedAndTheOthersRestoredInOrder)
{
    RestoreHarness h;
    VideoProject project(3);
    project.document.videoSegments = QList<VideoSegment>{project.cut(2, 0, 1, 5), project.cut(1, 0, 1, 0),
                                                         project.cut(0, 0, 1, 9)};
    h.session.applyProject(project.document);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(h.probing(i + 1));
        if (i == 1)
            h.probe.fail(i, VideoTimelineError::invalidVideo(QStringLiteral("clip1.mp4")));
        else
            h.probe.succeed(i, 2);
    }
    ASSERT_TRUE(h.restored());
    EXPECT_EQ(h.alerts.shown, QStringList{QStringLiteral("Cannot load video: clip1.mp4")});
    ASSERT_EQ(h.engine().videoSources().size(), 2);
    const auto segments = h.engine().videoSegments();
    ASSERT_EQ(segments.size(), 2);
    EXPECT_EQ(segments[0].sourceID, project.ids[2]);
    EXPECT_EQ(segments[1].sourceID, project.ids[0]);
}

TEST(VideoRestore, OpeningAnotherProjectWhileProbingShowsNothingOfTheFirst)
{
    RestoreHarness h;
    VideoProject a(2);
    VideoProject b(1);
    h.session.applyProject(a.document);
    ASSERT_TRUE(h.probing(1));  // A's first probe is running

    h.session.applyProject(b.document);
    ASSERT_TRUE(h.probing(2));
    EXPECT_EQ(h.probe.calls[1].id, b.ids[0]);
    // A's probe ends late, with a failure that must not be shown; B's succeeds.
    h.probe.fail(0, VideoTimelineError::invalidVideo(QStringLiteral("a.mp4")));
    h.probe.succeed(1, 3);
    ASSERT_TRUE(h.restored());
    spinEvents();

    EXPECT_EQ(h.probe.calls.size(), 2);  // A never probed its second file
    EXPECT_TRUE(h.alerts.shown.isEmpty());
    ASSERT_EQ(h.engine().videoSources().size(), 1);
    EXPECT_EQ(h.engine().videoSources()[0].id, b.ids[0]);
    ASSERT_EQ(h.engine().videoSegments().size(), 1);
    EXPECT_EQ(h.engine().videoSegments()[0].sourceID, b.ids[0]);
}

TEST(VideoRestore, AResultAfterAnotherLoadOfTheTimelineIsDropped)
{
    RestoreHarness h;
    VideoProject project(1);
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.probing(1));
    h.engine().load();  // a new timeline (new import generation) without going through the session
    h.probe.succeed(0, 5);
    ASSERT_TRUE(h.restored());
    EXPECT_TRUE(h.engine().videoSources().isEmpty());
}

TEST(VideoRestore, RegularModeSeeksOnceThePlayerHasLoaded)
{
    RestoreHarness h;
    VideoProject project(1);
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, 20));
    ASSERT_TRUE(spinUntil([&] { return h.session.hasPendingRestoreSeek(); }));
    ASSERT_FALSE(h.player().timelineLoads.isEmpty());
    EXPECT_EQ(h.player().timelineLoads.last().segments.size(), 1);
    spinEvents();
    EXPECT_TRUE(h.player().seeks.isEmpty());  // not loaded yet

    h.player().setLoaded(true);
    EXPECT_TRUE(h.player().seeks.isEmpty());  // delivered on the next turn of the event loop
    ASSERT_TRUE(spinUntil([&] { return !h.player().seeks.isEmpty(); }));
    EXPECT_EQ(h.player().seeks, QList<double>{7.5});
    h.player().setLoaded(false);
    h.player().setLoaded(true);
    spinEvents();
    EXPECT_EQ(h.player().seeks.size(), 1);  // only the first time
}

TEST(VideoRestore, PendingSeekIsDroppedByModeSwitchLoadErrorOrNewTimeline)
{
    enum class Interruption { compositionMode, loadingError, newTimeline };
    for (auto interruption : {Interruption::compositionMode, Interruption::loadingError, Interruption::newTimeline}) {
        SCOPED_TRACE(int(interruption));
        RestoreHarness h;
        h.session.installReactions();
        VideoProject project(1);
        h.session.applyProject(project.document);
        ASSERT_TRUE(h.answer(0, 20));
        ASSERT_TRUE(spinUntil([&] { return h.session.hasPendingRestoreSeek(); }));
        switch (interruption) {
        case Interruption::compositionMode:
            h.window->mode = CompositionMode::overlay;
            h.session.cancelRestoreSeekAndRebuildPlayer();
            EXPECT_EQ(h.player().pauses, 1);
            break;
        case Interruption::loadingError:
            h.player().failLoading(QStringLiteral("Cannot load video: clip0.mp4"));
            ASSERT_TRUE(spinUntil([&] { return !h.alerts.shown.isEmpty(); }));
            EXPECT_EQ(h.alerts.shown.last(), QStringLiteral("Cannot load video: clip0.mp4"));
            break;
        case Interruption::newTimeline:
            h.engine().load();
            break;
        }
        h.player().setLoaded(true);
        spinEvents();
        EXPECT_TRUE(h.player().seeks.isEmpty());
    }
}

// A clip whose sound cannot be decoded still shows its picture: the sound's
// message is told, and the project still opens at its saved playhead.
TEST(VideoRestore, ASoundThatCannotBeDecodedIsToldAndKeepsThePendingSeek)
{
    RestoreHarness h;
    h.session.installReactions();
    VideoProject project(1);
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, 20));
    ASSERT_TRUE(spinUntil([&] { return h.session.hasPendingRestoreSeek(); }));
    h.player().soundOnly = true;
    h.player().failLoading(QStringLiteral("The sound of clip0.mp4 cannot be decoded."));
    ASSERT_TRUE(spinUntil([&] { return !h.alerts.shown.isEmpty(); }));
    EXPECT_EQ(h.alerts.shown, QStringList{"The sound of clip0.mp4 cannot be decoded."});
    h.player().setLoaded(true);
    ASSERT_TRUE(spinUntil([&] { return !h.player().seeks.isEmpty(); }));
    EXPECT_EQ(h.player().seeks, QList<double>{7.5});
}

// Save, Save As and the last session written while the project's video is still
// probed hold the project's video and playhead, not the half-loaded timeline.
TEST(VideoRestore, ASaveWhileTheVideoIsRestoredKeepsEveryPieceAndThePlayhead)
{
    VideoProject project(3);
    project.document.videoFiles->append(VideoFileRef{QUuid::createUuid(), project.dir.path() + "/gone.mp4", {}});
    project.document.videoSegments = QList<VideoSegment>{project.cut(0, 0, 4, 0), project.cut(2, 1, 3, 4),
                                                         project.cut(1, 0, 2, 6),
                                                         VideoSegment{QUuid::createUuid(),
                                                                      project.document.videoFiles->last().id, 0, 1,
                                                                      8}};
    QList<VideoFileRef> found = *project.document.videoFiles;
    found.removeLast();
    QList<VideoSegment> foundPieces = *project.document.videoSegments;
    foundPieces.removeLast();
    RestoreHarness h;
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, 20));
    ASSERT_TRUE(h.probing(2));
    const QString saved = project.dir.path() + "/saved.rrl";
    ASSERT_TRUE(h.session.saveProject(QUrl::fromLocalFile(saved)));
    const QString session = *ProjectSession::lastSessionPath();
    h.session.saveLastSession();
    struct Case {
        QString file;
        QList<VideoFileRef> files;     // the last session keeps even the files not found
        QList<VideoSegment> segments;
    };
    for (const Case &c : {Case{saved, found, foundPieces},
                          Case{session, *project.document.videoFiles, *project.document.videoSegments}}) {
        SCOPED_TRACE(c.file.toStdString());
        const auto written = ProjectDocument::decode(readAll(c.file));
        ASSERT_TRUE(written);
        EXPECT_EQ(written->videoFiles, c.files);
        EXPECT_EQ(written->videoSegments, c.segments);
        EXPECT_EQ(written->playheadTime, 7.5);
    }
    QFile::remove(session);
}

TEST(VideoRestore, OverlayModeAndRejectedCutsArmNoSeek)
{
    {
        RestoreHarness h;
        VideoProject project(1);
        project.document.compositionMode = QStringLiteral("Overlay");
        h.session.applyProject(project.document);
        const auto loadsAfterApply = h.player().timelineLoads.size();
        ASSERT_TRUE(h.answer(0, 20));
        ASSERT_TRUE(h.restored());
        EXPECT_EQ(h.engine().videoSources().size(), 1);
        EXPECT_EQ(h.engine().videoSegments().size(), 1);
        EXPECT_FALSE(h.session.hasPendingRestoreSeek());
        EXPECT_EQ(h.player().timelineLoads.size(), loadsAfterApply);
    }
    {
        RestoreHarness h;
        VideoProject project(1);
        project.document.videoSegments = QList<VideoSegment>{project.cut(0, 0, 50, 0)};
        h.session.applyProject(project.document);
        ASSERT_TRUE(h.answer(0, 20));
        ASSERT_TRUE(h.restored());
        EXPECT_EQ(h.engine().videoSources().size(), 1);
        EXPECT_TRUE(h.engine().videoSegments().isEmpty());
        EXPECT_FALSE(h.session.hasPendingRestoreSeek());
    }
}

TEST(VideoRestore, ASourceWithoutAUsableSizeLeavesTheCanvasUnset)
{
    RestoreHarness h;
    VideoProject project(1);
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, 5, QSizeF(0, 0)));
    ASSERT_TRUE(h.restored());
    EXPECT_EQ(h.engine().videoSources().size(), 1);
    EXPECT_FALSE(h.engine().canvasOrigin());
}

TEST(WidgetPositionRestore, RescalesToTheNewLayoutAndClamps)
{
    Harness h;
    FakeWindow &w = *h.window;
    w.layoutSize = QSizeF(100, 100);
    w.positions.map = QPointF(150, -20);  // beyond the old layout: clamped into the new one
    w.positions.speed = QPointF(95, 35);
    h.session.restoreWidgetPositions(QSizeF(200, 200));
    EXPECT_EQ(w.positions.map, QPointF(200, 0));
    EXPECT_EQ(w.positions.speed, QPointF(190, 70));
    EXPECT_FALSE(w.positions.time);
    EXPECT_EQ(w.layoutSize, QSizeF(200, 200));

    const WidgetPositions before = w.positions;
    h.session.restoreWidgetPositions(QSizeF(0, 0));
    EXPECT_EQ(w.positions, before);
    EXPECT_EQ(w.layoutSize, QSizeF(200, 200));

    w.layoutSize.reset();  // no old layout: only remembered
    h.session.restoreWidgetPositions(QSizeF(540, 960));
    EXPECT_EQ(w.positions, before);
    EXPECT_EQ(w.layoutSize, QSizeF(540, 960));
}

TEST(PlayerRebuild, FollowsTheCompositionMode)
{
    Harness h;
    FakeWindow &w = *h.window;
    w.engineObject.setSegments({testsupport::gpx(5, 30)});
    w.mode = CompositionMode::overlay;
    h.session.rebuildPlayer();
    ASSERT_EQ(w.playerObject.overlayLoads.size(), 1);
    EXPECT_EQ(w.playerObject.overlayLoads[0].second, QSizeF(1920, 1080));
    w.mode = CompositionMode::regular;
    h.session.rebuildPlayer();
    EXPECT_EQ(w.playerObject.timelineLoads.size(), 1);
    EXPECT_EQ(w.playerObject.overlayLoads.size(), 1);
}

// Projects saved while a clip's length was the file's stated one hold pieces that
// end there: they are the same pieces, ending at the clip's last picture now.
TEST(VideoRestore, PiecesSavedWithAnEarlierClipLengthAreKeptToTheClipsEnd)
{
    RestoreHarness h;
    VideoProject project(2);
    const double rounded = 3.336667;  // 100 frames at 29.97 fps; the file states 3.337
    struct Case {
        VideoSegment saved;
        std::optional<double> restoredEnd;  // none: dropped
    };
    const QList<Case> cases{
        {project.cut(0, 0, 3.337, 0), rounded},    // to the stated end
        {project.cut(0, 1, 3.36, 10), rounded},    // within a frame of the last picture
        {project.cut(0, 0, 3.38, 20), {}},         // past both
        {project.cut(1, 2, 6.466, 30), 5.0},       // an empty edit of 1.466 s before the picture
        {project.cut(1, 5.2, 6.4, 40), {}},        // within the stated length, all past the picture
        {project.cut(1, 0, 6.5, 50), {}},
    };
    QList<VideoSegment> saved;
    for (const Case &c : cases)
        saved << c.saved;
    project.document.videoSegments = saved;
    h.session.applyProject(project.document);
    ASSERT_TRUE(h.answer(0, clipFound(rounded, 3.337, 30000.0 / 1001)));
    ASSERT_TRUE(h.answer(1, clipFound(5.0, 6.466, 30)));
    ASSERT_TRUE(h.restored());

    QList<VideoSegment> expected;
    for (const Case &c : cases) {
        if (!c.restoredEnd)
            continue;
        expected << c.saved;
        expected.last().sourceEnd = *c.restoredEnd;
    }
    EXPECT_EQ(h.engine().videoSegments(), expected);
    // A whole clip clamped so is still the one full source.
    VideoTimelineSnapshot whole = h.engine().videoSnapshot();
    whole.segments = {expected.first()};
    whole.canvasOrigin = QSizeF(1280, 720);
    EXPECT_TRUE(whole.singleFullSource());
    // Pieces outside their clips go silently, as before.
    EXPECT_TRUE(h.alerts.shown.isEmpty());
    EXPECT_TRUE(h.window->entries(LogEntry::Level::warning).isEmpty());
}

// A quit before the project's video is back writes the saved pieces, not the empty
// video lane of a timeline still waiting for its probes.
TEST(VideoRestore, AQuitWhileTheVideoIsRestoredKeepsItsPieces)
{
    const QString path = *ProjectSession::lastSessionPath();
    VideoProject project(1);
    project.document.videoSegments = QList<VideoSegment>{project.cut(0, 0, 4, 0), project.cut(0, 5, 10, 4)};
    const auto bytes = project.document.encode(ProjectDocument::Style::session);
    ASSERT_TRUE(bytes && writeFile(path, *bytes));
    RestoreHarness h;
    h.session.restoreLastSession();
    ASSERT_TRUE(settle(h.session));
    ASSERT_TRUE(h.probing(1));
    h.session.saveLastSession();
    const auto written = ProjectDocument::decode(readAll(path));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->videoSegments, project.document.videoSegments);
    EXPECT_EQ(written->videoFiles, project.document.videoFiles);
    h.probe.succeed(0, 10);
    ASSERT_TRUE(h.restored());
    EXPECT_EQ(h.engine().videoSegments().size(), 2);
    QFile::remove(path);
}
