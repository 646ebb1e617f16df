// Which source frame is on screen while the player service plays cut timelines:
// the clips carry their frame numbers in their pictures.
#include "timeline/videoplayerservice.h"
#include "timeline/views/playerview.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/sourcekinds.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"
#include "mediatestutil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace routereel;
using testsupport::cut;
using testsupport::frameNumberOf;
using testsupport::waitFor;

namespace {

struct Clips {
    QTemporaryDir dir;
    QString a;      // 6 s, silent
    QString b;      // 6 s, silent
    QString sound;  // 6 s with sound
};

const Clips &clips()
{
    static const Clips c = [] {
        Clips made;
        made.a = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("a.mp4"), 6);
        made.b = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("b.mp4"), 6);
        made.sound = testsupport::makeNumberedClip(made.dir.path(), QStringLiteral("s.mp4"), 6, true);
        return made;
    }();
    return c;
}

VideoSource source(const QString &file)
{
    return VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
}

// One picture as it came on screen: its frame number and the playhead then.
struct Shown {
    int frame;
    double playhead;
    qint64 ms;
};

struct Fixture {
    TimelinePlayer *player = new TimelinePlayer;
    VideoPlayerService service{player};
    std::vector<Shown> shown;
    QElapsedTimer wall;

    Fixture()
    {
        wall.start();
        // As the preview's view asks: pictures are converted at the size shown.
        player->setDisplaySize(QSize(640, 360));
        QObject::connect(player, &PreviewPlayer::frameChanged, [this] {
            shown.push_back({frameNumberOf(player->currentFrame()), service.clock()->playheadTime(), wall.elapsed()});
        });
    }

    bool load(const VideoTimelineSnapshot &timeline)
    {
        service.loadTimeline(timeline);
        // A 4K clip's first picture may take many seconds on a busy machine.
        return mediatest::waitWhileDecoding(*player, [&] { return service.isMetadataReady() && !service.isSeeking(); },
                                            10000);
    }

    bool seek(double t)
    {
        service.seek(t);
        return waitFor([&] { return !service.isSeeking(); });
    }

    // Plays until `stop` holds or play ends; then pauses and lets the picture settle.
    template <typename Stop>
    bool playUntil(Stop stop)
    {
        shown.clear();
        service.play();
        const bool ok = waitFor([&] { return stop() || !service.wantsToPlay(); }, 15000);
        service.pause();
        waitFor([&] { return !service.isSeeking(); });
        waitFor([] { return false; }, 300);
        return ok;
    }

    int frameOnScreen() const { return frameNumberOf(player->currentFrame()); }
};

std::string listed(const std::vector<Shown> &shown)
{
    std::string s;
    for (const Shown &e : shown)
        s += std::to_string(e.frame) + "@" + std::to_string(e.playhead).substr(0, 5) + " ";
    return s;
}

} // namespace

TEST(PlayerFrames, NoFrameOutsideThePieceIsShownAndTheEndRestsOnTheLastFrame)
{
    ASSERT_FALSE(clips().a.isEmpty());
    Fixture f;
    VideoTimelineSnapshot s;
    s.sources = {source(clips().a)};
    // 0..2 from 0..2, then a gap, then 2.5..3.5 from 3..4, then 3.5..4.5 from 1..2.
    s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[0], 3, 4, 2.5), cut(s.sources[0], 1, 2, 3.5)};
    ASSERT_TRUE(f.load(s));

    ASSERT_TRUE(f.seek(1.5));
    ASSERT_TRUE(f.playUntil([] { return false; }));
    ASSERT_FALSE(f.shown.empty());
    for (const Shown &e : f.shown) {
        const bool inFirst = e.frame >= 45 && e.frame <= 59;
        const bool inSecond = e.frame >= 90 && e.frame <= 119;
        const bool inThird = e.frame >= 30 && e.frame <= 59 && e.playhead >= 3.4;
        EXPECT_TRUE(e.frame == -1 || inFirst || inSecond || inThird) << "frame " << e.frame << " at " << e.playhead
                                                                     << "\n" << listed(f.shown);
    }
    // Played to the end: the last frame of the last piece.
    EXPECT_EQ(f.frameOnScreen(), 59);

    // One piece cut to 0..3: the end rests on frame 89.
    VideoTimelineSnapshot one;
    one.sources = {source(clips().a)};
    one.segments = {cut(one.sources[0], 0, 3, 0)};
    ASSERT_TRUE(f.load(one));
    ASSERT_TRUE(f.seek(2.3));
    ASSERT_TRUE(f.playUntil([] { return false; }));
    for (const Shown &e : f.shown)
        EXPECT_LE(e.frame, 89) << listed(f.shown);
    EXPECT_EQ(f.frameOnScreen(), 89);

    // Paused just before the cut at 2: the picture is the playhead's frame, not one beyond.
    ASSERT_TRUE(f.load(s));
    ASSERT_TRUE(f.seek(1.7));
    ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 1.96; }));
    const double playhead = f.service.clock()->playheadTime();
    if (playhead < 2.0) {
        EXPECT_LE(f.frameOnScreen(), 59);
        EXPECT_NEAR(f.frameOnScreen(), std::floor(playhead * 30), 1) << playhead;
    }
}

TEST(PlayerFrames, CutBetweenFilesWithAThirdPieceNeitherStallsNorLeavesThePictureBehind)
{
    ASSERT_FALSE(clips().b.isEmpty());
    ASSERT_FALSE(clips().sound.isEmpty());
    for (const QString &b : {clips().b, clips().sound}) {
        Fixture f;
        VideoTimelineSnapshot s;
        s.sources = {source(clips().a), source(b)};
        // A 0..2 at 0, B 1..3 at 2, A 4..5 at 4.
        s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[1], 1, 3, 2), cut(s.sources[0], 4, 5, 4)};
        ASSERT_TRUE(f.load(s));
        ASSERT_TRUE(f.seek(1.6));
        ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 2.8; }));

        // Across the cut: B's pictures follow the playhead, within a few frames. A picture
        // off by more for one moment of a busy machine is reported; one that stays off is
        // what the eye sees.
        qint64 longestStill = 0;
        int worstOffset = 0;
        qint64 offSince = -1, longestOff = 0;
        const auto offBy = [](int frame, double playhead) {
            return std::abs(frame - int(std::floor((playhead - 2 + 1) * 30)));
        };
        for (size_t i = 1; i < f.shown.size(); ++i) {
            const Shown &e = f.shown[i];
            if (e.playhead < 2.0 || e.playhead > 2.7)
                continue;
            longestStill = std::max(longestStill, e.ms - f.shown[i - 1].ms);
            worstOffset = std::max(worstOffset, offBy(e.frame, e.playhead));
            // The picture stays until the next one while the playhead moves on: looked at
            // every 5 ms of that, the playhead taken as moving evenly in between.
            const Shown &next = i + 1 < f.shown.size() ? f.shown[i + 1] : e;
            for (qint64 ms = e.ms; ms <= std::max(e.ms, next.ms - 1); ms += 5) {
                const double t = next.ms > e.ms ? double(ms - e.ms) / double(next.ms - e.ms) : 0;
                if (offBy(e.frame, e.playhead + t * (next.playhead - e.playhead)) <= 3)
                    offSince = -1;
                else if (offSince < 0)
                    offSince = ms;
                if (offSince >= 0)
                    longestOff = std::max(longestOff, ms + 5 - offSince);
            }
        }
        RecordProperty("longestStillMs", int(longestStill));
        std::printf("cut A->B (%s): longest still picture %lld ms, largest offset %d frames, more than 3 frames "
                    "off for %lld ms\n",
                    qPrintable(QFileInfo(b).fileName()), (long long)longestStill, worstOffset, (long long)longestOff);
        EXPECT_LE(longestOff, 100) << "the picture stays more than 3 frames off the playhead\n" << listed(f.shown);

        // Paused right after the cut: the picture is where the playhead is.
        ASSERT_TRUE(f.seek(1.8));
        ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 2.05; }));
        const double playhead = f.service.clock()->playheadTime();
        ASSERT_LT(playhead, 4.0);
        const int expected = int(std::floor((playhead < 2 ? playhead : playhead - 2 + 1) * 30));
        EXPECT_NEAR(f.frameOnScreen(), expected, 1) << "playhead " << playhead << "\n" << listed(f.shown);
    }
}

namespace {

// Numbered camera-like clips at 30 and 29.97 fps, 4 s each.
struct RateClips {
    QTemporaryDir dir;
    QString a, b;
};

const RateClips &rateClips(double fps)
{
    static const RateClips c30 = [] {
        RateClips made;
        made.a = testsupport::makeNumberedCameraClip(made.dir.path(), QStringLiteral("a.mp4"), 4, 320, 180, 30, 2);
        made.b = testsupport::makeNumberedCameraClip(made.dir.path(), QStringLiteral("b.mp4"), 4, 320, 180, 30, 2);
        return made;
    }();
    static const RateClips c2997 = [] {
        RateClips made;
        const double fps = 30000.0 / 1001;
        made.a = testsupport::makeNumberedCameraClip(made.dir.path(), QStringLiteral("a.mp4"), 4, 320, 180, fps, 2);
        made.b = testsupport::makeNumberedCameraClip(made.dir.path(), QStringLiteral("b.mp4"), 4, 320, 180, fps, 2);
        return made;
    }();
    return fps == 30 ? c30 : c2997;
}

// Every picture the player puts out (not only those the view had time to paint),
// and every playhead move with the wall clock then.
struct Recorder {
    std::vector<int> frames;
    std::vector<double> frameWall; // wall seconds each of `frames` came
    std::vector<std::pair<double, double>> playhead; // (playhead, wall seconds)
    QElapsedTimer wall;

    explicit Recorder(Fixture &f)
    {
        wall.start();
        QObject::connect(f.player, &PreviewPlayer::frameChanged, f.player, [this, &f] {
            const int n = frameNumberOf(f.player->currentFrame());
            if (n >= 0 && (frames.empty() || frames.back() != n)) {
                frames.push_back(n);
                frameWall.push_back(wall.nsecsElapsed() / 1e9);
            }
        });
        QObject::connect(f.service.clock(), &PlaybackClock::playheadTimeChanged, f.player, [this](double t) {
            playhead.emplace_back(t, wall.nsecsElapsed() / 1e9);
        });
    }
    void clear()
    {
        frames.clear();
        frameWall.clear();
        playhead.clear();
    }
    // The longest the picture or the playhead stood in the `seconds` of wall time up
    // to `until`: a window thread or deck a busy machine held that long. After it the
    // player goes on at the clock, past pictures nobody could see in time.
    double longestHold(double until, double seconds) const
    {
        double longest = 0;
        const auto within = [&](double a, double b) {
            if (b <= until + 1e-9 && b >= until - seconds)
                longest = std::max(longest, b - a);
        };
        for (size_t i = 1; i < frameWall.size(); ++i)
            within(frameWall[i - 1], frameWall[i]);
        for (size_t i = 1; i < playhead.size(); ++i)
            within(playhead[i - 1].second, playhead[i].second);
        return longest;
    }
    // Wall seconds when the playhead first reached timeline second `t`.
    double reached(double t) const
    {
        const auto at = std::find_if(playhead.begin(), playhead.end(), [&](const auto &p) { return p.first >= t - 1e-6; });
        return at == playhead.end() ? INFINITY : at->second;
    }
    // The first playhead time told past timeline second `t`.
    double toldAfter(double t) const
    {
        const auto at = std::find_if(playhead.begin(), playhead.end(), [&](const auto &p) { return p.first > t + 1e-6; });
        return at == playhead.end() ? INFINITY : at->first;
    }
    // Whether the picture goes from the piece's frame `last` straight to `next`, the
    // first of the following piece (which shows up to `nextLast`); `startOf` gives the
    // timeline second a frame of the piece starts. A player late there (held long
    // enough for a user to see the picture stand, or its picture before the cut
    // already behind the playhead) may leave out frames on either side of the cut, as
    // it does anywhere when late.
    bool cutShows(int pieceFirst, int last, int next, int nextLast, const std::function<double(int)> &startOf) const
    {
        // From the piece's first picture shown (a play may start in the piece before).
        const size_t begun = std::find_if(frames.begin(), frames.end(), [&](int n) { return n >= pieceFirst && n <= last; })
            - frames.begin();
        size_t at = begun + 1;
        while (at < frames.size() && frames[at] >= frames[at - 1] && frames[at] <= last)
            ++at;
        if (at >= frames.size())
            return false;
        const int before = frames[at - 1], after = frames[at];
        if (before == last && after == next)
            return true;
        if (before < pieceFirst || before > last || after < next || after > nextLast)
            return false;
        // Already dropping pictures before it (late), the player leaves out about as
        // many at the cut.
        int dropped = 0;
        for (size_t i = begun + 1; i < at; ++i) {
            if (frameWall[i] >= frameWall[at] - 0.3)
                dropped = std::max(dropped, frames[i] - frames[i - 1] - 1);
        }
        if (dropped > 0 && (last - before) + (after - next) <= dropped + 1) {
            std::printf("late (dropping %d) at the cut: frame %d then %d\n", dropped, before, after);
            return true;
        }
        return lateAt(at - 1, frameWall[at], startOf);
    }
    // Whether the player was late up to wall second `until`, when the picture
    // frames[shown] was on screen: held long enough for a user to see the picture
    // stand, or that picture came behind the playhead. Printed.
    bool lateAt(size_t shown, double until, const std::function<double(int)> &startOf) const
    {
        const double held = longestHold(until, 0.3);
        const double behind = frameWall[shown] - reached(startOf(frames[shown]));
        if (held < userSeesAStand && behind < lateBy)
            return false;
        std::printf("late (held %.0f ms, picture %.0f ms behind) on frame %d\n", held * 1000, behind * 1000,
                    frames[shown]);
        return true;
    }
    // A picture on time comes at the first look after its start: a look is 1/60 s.
    static constexpr double lateBy = 1 / 60.0 + 0.01;
    static constexpr double userSeesAStand = 0.1;
    // The most the playhead ran ahead of the wall clock from the `before` seconds up
    // to `t` on: ahead of where it ever stood against the wall clock before, so that a
    // playhead catching up after its thread was held (one step, as long as the hold)
    // is not taken for one that skips ahead. Such steps are printed.
    double largestLeap(double t, double before) const
    {
        double leap = 0, step = 0, inLine = -INFINITY;
        for (size_t i = 1; i < playhead.size(); ++i) {
            if (playhead[i - 1].first < t - before || playhead[i - 1].first >= t)
                continue;
            const double was = playhead[i - 1].first - playhead[i - 1].second;
            const double now = playhead[i].first - playhead[i].second;
            inLine = std::max(inLine, was);
            leap = std::max(leap, now - inLine);
            step = std::max(step, now - was);
        }
        if (step > leap + 0.005)
            std::printf("the playhead caught up %.0f ms in one step\n", step * 1000);
        return leap;
    }
};

std::string joined(const std::vector<int> &frames)
{
    std::string s;
    for (int n : frames)
        s += std::to_string(n) + " ";
    return s;
}

// Frames a piece shows from timeline time `from` on: the one covering its source
// time then, through the one covering the instant before its end.
void appendFrames(std::vector<int> &out, double fps, double sourceStart, double sourceEnd, double offset, double from)
{
    const double at = sourceStart + std::max(0.0, from - offset);
    if (at >= sourceEnd)
        return;
    for (int n = int(std::floor(at * fps + 1e-6)); n < int(std::ceil(sourceEnd * fps - 1e-6)); ++n)
        out.push_back(n);
}

} // namespace

TEST(PlayerFrames, PlayFromAnyStartShowsEveryFrameOfEachPieceInOrderAndEndsOnTheLast)
{
    for (const double fps : {30.0, 30000.0 / 1001}) {
        const RateClips &c = rateClips(fps);
        ASSERT_FALSE(c.a.isEmpty());
        ASSERT_FALSE(c.b.isEmpty());
        Fixture f;
        Recorder r(f);
        VideoTimelineSnapshot s;
        s.sources = {source(c.a), source(c.b)};
        // A 0..1 at 0, then B 2..3 at 1.
        s.segments = {cut(s.sources[0], 0, 1, 0), cut(s.sources[1], 2, 3, 1)};
        ASSERT_TRUE(f.load(s));
        const double frame = 1 / fps;
        int missing = 0; // dropped by the decoder, late on a busy machine
        // On frame boundaries and between them, in either piece.
        for (const double start : {0.0, 0.02, 10 * frame, 9.5 * frame, 0.519, 0.87, 1 + 4 * frame, 1.02}) {
            SCOPED_TRACE(testing::Message() << fps << " fps from " << start);
            r.clear();
            ASSERT_TRUE(f.seek(start));
            ASSERT_TRUE(f.playUntil([] { return false; }));
            std::vector<int> a, b;
            appendFrames(a, fps, 0, 1, 0, start);
            appendFrames(b, fps, 2, 3, 1, start);
            // A busy machine makes the decoder drop late pictures anywhere; what it
            // never does is show one out of order or outside the pieces, start a piece
            // elsewhere than at its first frame, cut early, or end elsewhere.
            std::vector<int> expected = a;
            expected.insert(expected.end(), b.begin(), b.end());
            EXPECT_TRUE(std::is_sorted(r.frames.begin(), r.frames.end())
                        && std::includes(expected.begin(), expected.end(), r.frames.begin(), r.frames.end()))
                << joined(r.frames) << "\nexpected " << joined(expected);
            ASSERT_FALSE(r.frames.empty());
            EXPECT_EQ(r.frames.front(), expected.front());
            if (start < 1) {
                // B begins at its first frame. A cut that waited for it goes on where the
                // sound had come to meanwhile, so B may begin at the frame on screen at
                // the first time told past the cut.
                const double resumed = r.toldAfter(1);
                const int thenOnScreen = std::isfinite(resumed) ? int(std::floor((2 + resumed - 1) * fps + 1e-6)) : b.front();
                const auto firstOfB = std::find_if(r.frames.begin(), r.frames.end(), [&](int n) { return n >= b.front(); });
                ASSERT_NE(firstOfB, r.frames.end()) << joined(r.frames);
                EXPECT_LE(*firstOfB, std::max(b.front(), thenOnScreen))
                    << joined(r.frames) << "\nfirst time told past the cut " << resumed;
            }
            EXPECT_EQ(f.frameOnScreen(), expected.back());
            EXPECT_LE(r.largestLeap(1.0, 0.2), frame + 0.005);
            missing += int(expected.size() - r.frames.size());
        }
        RecordProperty(fps == 30 ? "framesMissing30" : "framesMissing2997", missing);
        // Play with the playhead a little before the end (moved there by a view) while
        // the player stands at the end: it reports the end at once and nothing runs.
        f.service.clock()->setPlayheadTime(2 - 0.07);
        f.service.play();
        EXPECT_FALSE(f.service.isPlaying());
        EXPECT_FALSE(f.service.wantsToPlay());
    }
}

TEST(PlayerFrames, PauseAroundACutStopsEveryDeckAndResumesFromThePausedFrame)
{
    const RateClips &c = rateClips(30);
    ASSERT_FALSE(c.a.isEmpty());
    ASSERT_FALSE(clips().sound.isEmpty());
    Fixture f;
    Recorder r(f);
    VideoTimelineSnapshot s;
    s.sources = {source(c.a), source(clips().sound)};
    // A 0..1 at 0, B 2..3 at 1, A 3..4 at 2: frames 0..29, 60..89, 90..119.
    s.segments = {cut(s.sources[0], 0, 1, 0), cut(s.sources[1], 2, 3, 1), cut(s.sources[0], 3, 4, 2)};
    ASSERT_TRUE(f.load(s));
    const auto timelineFrame = [](int n) { return n < 60 ? n : n - 30; };

    // Milliseconds after B's first picture; negative: when the playhead is that far before the cut.
    for (const int instant : {-20, -8, -8, -4, 0, 0, 0, 2, 5, 10, 20, 40}) {
        SCOPED_TRACE(testing::Message() << "pause at " << instant << " ms from the cut");
        ASSERT_TRUE(f.seek(0.7));
        bool asked = false;
        auto ask = [&] {
            if (!asked)
                QTimer::singleShot(std::max(instant, 0), f.player, [&] { f.service.pause(); });
            asked = true;
        };
        QMetaObject::Connection onFrame, onTime;
        if (instant >= 0)
            onFrame = QObject::connect(f.player, &PreviewPlayer::frameChanged, f.player, [&] {
                if (frameNumberOf(f.player->currentFrame()) >= 60)
                    ask();
            });
        else
            onTime = QObject::connect(f.service.clock(), &PlaybackClock::playheadTimeChanged, f.player,
                                      [&](double t) {
                                          if (t >= 1 + instant / 1000.0)
                                              ask();
                                      });
        f.service.play();
        ASSERT_TRUE(waitFor([&] { return asked && !f.service.wantsToPlay(); }, 15000));
        QObject::disconnect(onFrame);
        QObject::disconnect(onTime);
        ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
        waitFor([] { return false; }, 150);
        // A busy machine may hand the playhead's own picture over a little later.
        const double playhead = f.service.clock()->playheadTime();
        waitFor([&] { return timelineFrame(f.frameOnScreen()) == int(std::floor(playhead * 30)); }, 3000);

        const quint64 decoded = f.player->framesDecoded();
        const int paused = f.frameOnScreen();
        waitFor([] { return false; }, 500);
        EXPECT_LE(f.player->framesDecoded() - decoded, 2u) << "a deck ran on while paused";
        EXPECT_EQ(f.frameOnScreen(), paused);
        EXPECT_DOUBLE_EQ(f.service.clock()->playheadTime(), playhead);
        EXPECT_NEAR(timelineFrame(paused), std::floor(playhead * 30), 1) << "playhead " << playhead;

        // Resumed: on from the paused frame, without a leap of picture or playhead.
        r.clear();
        f.service.play();
        ASSERT_TRUE(waitFor([&] { return r.frames.size() >= 3 || !f.service.wantsToPlay(); }, 10000));
        ASSERT_FALSE(r.frames.empty());
        EXPECT_LE(timelineFrame(r.frames.front()), timelineFrame(paused) + 4) << joined(r.frames);
        EXPECT_LE(r.largestLeap(playhead + 0.3, 0.3), 1 / 30.0 + 0.005);
        f.service.pause();
    }
}

TEST(PlayerFrames, CutReachedBeforeTheNextPieceIsReadyWaitsForItAndPlaysOn)
{
    QTemporaryDir dir;
    // The third piece starts 1.5 s after a keyframe: readying it takes a while.
    const QString far = testsupport::makeNumberedCameraClip(dir.path(), QStringLiteral("far.mp4"), 12, 1920, 1080, 30, 8);
    const QString near = testsupport::makeNumberedClip(dir.path(), QStringLiteral("near.mp4"), 1, false, 1280, 720);
    ASSERT_FALSE(far.isEmpty());
    ASSERT_FALSE(near.isEmpty());
    Fixture f;
    Recorder r(f);
    VideoTimelineSnapshot s;
    s.sources = {source(far), source(near)};
    s.segments = {cut(s.sources[0], 0, 1.2, 0), cut(s.sources[1], 0, 0.4, 1.2), cut(s.sources[0], 9.5, 11.5, 1.6)};
    ASSERT_TRUE(f.load(s));
    for (const double start : {0.0, 1.1}) {
        SCOPED_TRACE(testing::Message() << "from " << start);
        ASSERT_TRUE(f.seek(start));
        r.clear();
        f.service.play();
        // Frozen at the cut it never ends; played, it takes 3.6 s less the start.
        EXPECT_TRUE(waitFor([&] { return !f.service.wantsToPlay(); }, 30000)) << "playhead stays at "
                                                                               << f.service.clock()->playheadTime();
        f.service.pause();
        ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
        // A deck behind the clock at the end decodes on to the last picture: on a busy
        // machine that takes a while.
        mediatest::waitWhileDecoding(*f.player, [&] { return f.frameOnScreen() == 344; });
        EXPECT_FALSE(f.service.isPlaying());
        EXPECT_NEAR(f.service.clock()->playheadTime(), 3.6, 0.05);
        EXPECT_EQ(f.frameOnScreen(), 344);
        // The third piece ran: pictures from its start on, in order.
        const auto third = std::find(r.frames.begin(), r.frames.end(), 285);
        ASSERT_NE(third, r.frames.end()) << joined(r.frames);
        EXPECT_TRUE(std::is_sorted(third, r.frames.end())) << joined(r.frames);
        EXPECT_GE(r.frames.end() - third, 10) << joined(r.frames);
    }
}

// A seek or pause made at the very instant of a cut, then play through that cut
// again: the next deck must still be ready, so the cut neither holds the playhead
// nor skips into the next piece.
TEST(PlayerFrames, DisturbedAtTheInstantOfACutTheCutStillPlaysOn)
{
    ASSERT_FALSE(clips().b.isEmpty());
    Fixture f;
    Recorder r(f);
    VideoTimelineSnapshot s;
    s.sources = {source(clips().a), source(clips().b)};
    // A 0..2 at 0 (frames 0..59), B 1..3 at 2 (frames 30..89).
    s.segments = {cut(s.sources[0], 0, 2, 0), cut(s.sources[1], 1, 3, 2)};
    ASSERT_TRUE(f.load(s));
    enum class Disturbance { seekBack, pauseScrubBackPlay };
    for (const Disturbance how : {Disturbance::seekBack, Disturbance::pauseScrubBackPlay}) {
        for (int run = 0; run < 4; ++run) {
            SCOPED_TRACE(testing::Message() << (how == Disturbance::seekBack ? "seek back" : "pause, scrub back, play")
                                            << " at the cut, run " << run);
            ASSERT_TRUE(f.seek(1.6));
            bool disturbed = false;
            const auto at = QObject::connect(f.service.clock(), &PlaybackClock::playheadTimeChanged, f.player,
                                             [&](double t) {
                                                 if (disturbed || t < 2.0)
                                                     return;
                                                 disturbed = true;
                                                 if (how == Disturbance::seekBack)
                                                     f.service.seek(1.7);
                                                 else
                                                     f.service.pause();
                                             });
            f.service.play();
            ASSERT_TRUE(waitFor([&] { return disturbed; }, 15000))
                << "playhead stays at " << f.service.clock()->playheadTime();
            QObject::disconnect(at);
            if (how == Disturbance::pauseScrubBackPlay) {
                ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
                f.service.scrub(1.7);
                ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
                f.service.play();
            }
            r.clear();
            ASSERT_TRUE(waitFor([&] { return f.service.clock()->playheadTime() >= 2.6 || !f.service.wantsToPlay(); },
                                15000))
                << "playhead stays at " << f.service.clock()->playheadTime() << ", seeking "
                << f.service.isSeeking() << ", playing " << f.service.isPlaying() << ": " << joined(r.frames);
            f.service.pause();
            ASSERT_TRUE(waitFor([&] { return !f.service.isSeeking(); }));
            // B from its first frame on, in order, and the playhead never ran ahead of the
            // wall clock at the cut.
            const auto first = std::find(r.frames.begin(), r.frames.end(), 30);
            EXPECT_TRUE(first != r.frames.end() && std::is_sorted(first, r.frames.end())) << joined(r.frames);
            EXPECT_LE(r.largestLeap(2.1, 0.4), 1 / 30.0 + 0.005) << joined(r.frames);
        }
    }
}

namespace {

// A time `fraction` of the way through frame k of a clip.
double into(const QList<double> &starts, qsizetype k, double fraction)
{
    const double length = k + 1 < starts.size() ? starts[k + 1] - starts[k] : starts[k] - starts[k - 1];
    return starts[k] + fraction * length;
}

qsizetype firstFrameFrom(const QList<double> &starts, double seconds)
{
    return std::lower_bound(starts.begin(), starts.end(), seconds) - starts.begin();
}

} // namespace

// Every kind of source: the picture at a paused seek, and through cuts and the end
// in play, is the frame the file's own frame list puts on screen at that source time.
// The first and third pieces end 0.45 into a frame (one starting less than half a
// frame before the cut); the third starts at the clip's start time, the last ends
// at the clip's end.
TEST(PlayerFrames, EveryKindOfSourceShowsTheFrameOnScreenAtEachInstant)
{
    ASSERT_FALSE(clips().b.isEmpty());
    QTemporaryDir dir;
    for (const testsupport::SourceKind &kind : testsupport::sourceKinds() + testsupport::cameraKinds()) {
        const int first = kind.firstPicture;
        SCOPED_TRACE(kind.name);
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const QList<double> starts = testsupport::frameStarts(file);
        ASSERT_GT(starts.size(), 60);
        const qsizetype k0 = firstFrameFrom(starts, 1.2), k1 = firstFrameFrom(starts, 2.5), k3 = 10;
        const double c0 = into(starts, k0, 0.7), c1 = into(starts, k1, 0.45), e3 = into(starts, k3, 0.45);
        const double atCut = c1 - c0, third = atCut + 1;
        Fixture f;
        Recorder r(f);
        VideoTimelineSnapshot s;
        s.sources = {source(file), source(clips().b)};
        const double d = s.sources[0].duration;
        // The kind c0..c1 at 0, b 1..2 (frames 30..59), the kind 0..e3, the kind's last 0.3 s.
        s.segments = {cut(s.sources[0], c0, c1, 0), cut(s.sources[1], 1, 2, atCut), cut(s.sources[0], 0, e3, third),
                      cut(s.sources[0], d - 0.3, d, third + e3)};
        ASSERT_TRUE(f.load(s));

        // Paused seeks: on frame starts and 0.3 and 0.7 into frames of the first piece, its
        // last instant, the clip's start time and into the last piece's first frames.
        std::vector<std::pair<double, double>> seeks; // (timeline, source) seconds
        for (qsizetype k = k0 + 1; k < k1; k += std::max<qsizetype>(1, (k1 - k0) / 4)) {
            for (const double fraction : {0.0, 0.3, 0.7})
                seeks.emplace_back(into(starts, k, fraction) - c0, into(starts, k, fraction));
        }
        seeks.emplace_back(atCut - 0.001, c1 - 0.001);
        for (const double t : {0.0, 0.5 * starts[1], starts[1], into(starts, 2, 0.7)})
            seeks.emplace_back(third + t, t);
        // The clip's last two frames, at the end of the last piece.
        // Within the last piece: a clip whose sound runs on past its picture holds the last one there.
        for (const double at : {std::max(into(starts, starts.size() - 2, 0.5), d - 0.29), d - 0.001})
            seeks.emplace_back(third + e3 + (at - (d - 0.3)), at);
        int matched = 0;
        for (const auto &[t, at] : seeks) {
            ASSERT_TRUE(f.seek(t));
            waitFor([] { return false; }, 30);
            const int expected = first + testsupport::frameOnScreen(starts, at);
            EXPECT_EQ(f.frameOnScreen(), expected) << "paused at " << t << " (source " << at << ")";
            matched += f.frameOnScreen() == expected;
        }

        // Played through the cut: the frame starting just before it, then b's first. A
        // player that leaves it out does so every time; a busy machine only now and
        // then, so a miss is played again (and printed).
        constexpr int plays = 3;
        bool throughCut = false;
        for (int play = 0; play < plays && !throughCut; ++play) {
            ASSERT_TRUE(f.seek(atCut - 0.25));
            r.clear();
            ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= atCut + 0.2; }));
            throughCut = r.cutShows(first + int(k0), first + int(k1), 30, 59, [&](int n) { return starts[n - first] - c0; });
            if (!throughCut)
                std::printf("%s through the cut, play %d: %s\n", kind.name, play, joined(r.frames).c_str());
        }
        EXPECT_TRUE(throughCut) << "frame " << first + k1 << " then 30: " << joined(r.frames);

        // Played through a cut on the same file to the end: the clip's last frame is on
        // screen when play stops.
        const int lastFrame = first + int(starts.size()) - 1;
        const auto lastPiece = [&](int n) { return third + e3 + starts[n - first] - (d - 0.3); };
        int atEnd = -1;
        size_t atEndIndex = 0;
        double endedAt = 0;
        const auto ended = QObject::connect(f.player, &PreviewPlayer::playedToEnd, f.player, [&] {
            atEnd = r.frames.empty() ? -1 : r.frames.back();
            atEndIndex = r.frames.size() - 1;
            endedAt = r.wall.nsecsElapsed() / 1e9;
        });
        bool throughSameFileCut = false, endsOnLast = false;
        for (int play = 0; play < plays && !(throughSameFileCut && endsOnLast); ++play) {
            ASSERT_TRUE(f.seek(third + e3 - 0.2));
            r.clear();
            atEnd = -1;
            ASSERT_TRUE(f.playUntil([] { return false; }));
            throughSameFileCut =
                r.cutShows(first, first + int(k3), first + testsupport::frameOnScreen(starts, d - 0.3), lastFrame,
                           [&](int n) { return third + starts[n - first]; });
            // Late at the end, the last frame may come just after play stops: it still comes.
            endsOnLast = atEnd == lastFrame || (atEnd >= first && r.lateAt(atEndIndex, endedAt, lastPiece));
            if (!(throughSameFileCut && endsOnLast))
                std::printf("%s to the end, play %d: %s\n", kind.name, play, joined(r.frames).c_str());
        }
        QObject::disconnect(ended);
        EXPECT_TRUE(throughSameFileCut) << joined(r.frames);
        EXPECT_TRUE(endsOnLast) << "frame " << atEnd << " when play stopped: " << joined(r.frames);
        mediatest::waitWhileDecoding(*f.player, [&] { return f.frameOnScreen() == lastFrame; });
        EXPECT_EQ(f.frameOnScreen(), lastFrame);

        const QString coverage = QStringLiteral("%1 of %2 paused seeks matched (source %3..%4 s, 0..%5 s, the last two frames); "
                                                "through the cut to another file at %4 s %6, to the same file at %5 s "
                                                "%7; the last frame at the end %8")
                                     .arg(matched).arg(seeks.size()).arg(c0, 0, 'f', 4).arg(c1, 0, 'f', 4)
                                     .arg(e3, 0, 'f', 4).arg(throughCut ? "matched" : "wrong")
                                     .arg(throughSameFileCut ? "matched" : "wrong")
                                     .arg(endsOnLast ? "matched" : "wrong");
        RecordProperty(kind.name, coverage.toStdString());
        std::printf("%s: %s\n", kind.name, qPrintable(coverage));
    }
}

// A jump back within one clip at cut times off the composition's ticks: the
// picture goes straight from the first piece's last frame to the second's first,
// never through black.
namespace {

// A view that notes what it is about to paint: the picture's frame number (0 for
// black, -1 for none) and whether it covers the canvas.
struct PaintedFrame {
    int frame;
    bool covers;
    double playhead;
};

class WatchedView : public PlayerView {
public:
    WatchedView(Fixture &f) : m_f(f)
    {
        resize(960, 540);
        setPlayer(f.player);
        show();
    }
    std::vector<PaintedFrame> painted;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const QImage image = m_f.player->displayFrame();
        const QRectF onCanvas = m_f.player->displayFrameTransform().mapRect(QRectF(QPointF(0, 0), QSizeF(image.size())));
        const QSizeF canvas = m_f.player->renderSize();
        painted.push_back({frameNumberOf(image), onCanvas.width() >= canvas.width() * 0.99 && onCanvas.height() >= canvas.height() * 0.99,
                           m_f.service.clock()->playheadTime()});
        PlayerView::paintEvent(event);
    }

private:
    Fixture &m_f;
};

std::string listed(const std::vector<PaintedFrame> &painted)
{
    std::string s;
    for (const PaintedFrame &e : painted)
        s += std::to_string(e.frame) + (e.covers ? "" : "!") + "@" + std::to_string(e.playhead).substr(0, 5) + " ";
    return s;
}

} // namespace

// A camera-like clip cut at odd instants and played back over itself: neither the
// picture taken nor the one the view paints is ever empty or black at the cut.
TEST(PlayerFrames, AJumpBackWithinOneClipShowsNoBlackAtTheCut)
{
    const RateClips &c = rateClips(30);
    ASSERT_FALSE(c.a.isEmpty());
    QTemporaryDir dir;
    const QString camera = testsupport::makeNumberedCameraClip(dir.path(), QStringLiteral("c.mp4"), 4, 1280, 720, 30, 1);
    ASSERT_FALSE(camera.isEmpty());
    for (const QString &clip : {c.a, camera}) {
        Fixture f;
        WatchedView view(f);
        VideoTimelineSnapshot s;
        s.sources = {source(clip)};
        s.segments = {cut(s.sources[0], 0.384215, 3.185452, 0), cut(s.sources[0], 2.274985, 3.723901, 2.801237)};
        ASSERT_TRUE(f.load(s));
        for (int run = 0; run < 4; ++run) {
            ASSERT_TRUE(f.seek(2.4));
            waitFor([] { return false; }, 100);
            view.painted.clear();
            ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 3.2; }));
            const auto black = std::find_if(f.shown.begin(), f.shown.end(), [](const Shown &e) { return e.frame < 0; });
            EXPECT_EQ(black, f.shown.end()) << listed(f.shown);
            const auto second = std::find_if(f.shown.begin(), f.shown.end(), [](const Shown &e) { return e.frame < 90; });
            EXPECT_NE(second, f.shown.end()) << listed(f.shown);
            // Frames 11..95 and 68..111 are the pieces' own: anything else is black or foreign.
            const auto wrong = std::find_if(view.painted.begin(), view.painted.end(), [](const PaintedFrame &e) {
                return e.frame < 11 || e.frame > 111 || !e.covers;
            });
            EXPECT_EQ(wrong, view.painted.end()) << listed(view.painted);
            EXPECT_TRUE(std::any_of(view.painted.begin(), view.painted.end(), [](const PaintedFrame &e) {
                return e.frame < 90 && e.playhead > 2.801;
            })) << listed(view.painted);
        }
    }
}

namespace {

// Whether every bar of a numbered picture is black or white across its height:
// a picture decoded without its references shows grey blocks.
bool wholeBars(const QImage &image)
{
    if (image.isNull())
        return false;
    for (const double row : {0.2, 0.5, 0.8}) {
        for (int bar = 0; bar < 12; ++bar) {
            const int l = image.pixelColor(int((bar + 0.5) * image.width() / 12), int(row * image.height())).lightness();
            if (l > 70 && l < 185)
                return false;
        }
    }
    return true;
}

// ffprobe's packets of the picture in decoding order: (pts, keyframe).
QList<std::pair<qint64, bool>> packets(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                        QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                        QStringLiteral("packet=pts,flags"), QStringLiteral("-of"),
                                        QStringLiteral("csv=p=0"), file});
    p.waitForFinished(60'000);
    QList<std::pair<qint64, bool>> out;
    for (const QString &line : QString::fromLatin1(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out.append({line.section(QLatin1Char(','), 0, 0).toLongLong(), line.section(QLatin1Char(','), 1).contains(QLatin1Char('K'))});
    return out;
}

// Frame numbers of the pictures shown before their GOP's keyframe but decoded after it.
QList<int> leadingFrames(const QString &file)
{
    const auto list = packets(file);
    QList<qint64> shown;
    for (const auto &[pts, key] : list)
        shown.append(pts);
    std::sort(shown.begin(), shown.end());
    QList<int> out;
    std::optional<qint64> keyframe;
    for (const auto &[pts, key] : list) {
        if (key)
            keyframe = pts;
        else if (keyframe && pts < *keyframe)
            out.append(int(std::lower_bound(shown.begin(), shown.end(), pts) - shown.begin()));
    }
    return out;
}

} // namespace

// Clips as trimming tools and cameras write them: a cut by stream copy between
// keyframes (an edit list that hides the pictures from the keyframe to the cut),
// and open GOPs (H.264 open-gop, x265's CRA keyframes with leading pictures).
// Paused seeks show the whole picture on screen at that source time, and a piece
// of the cut played through shows its last frame before the next piece.
TEST(PlayerFrames, StreamCopiedCutsAndOpenGopsShowTheFrameOnScreen)
{
    ASSERT_FALSE(clips().b.isEmpty());
    QTemporaryDir dir;
    const QString pictures = testsupport::numberedPictures(6, 320, 180, QStringLiteral("30")) + QStringLiteral(",noise=alls=12:allf=t");
    const QString camera = dir.filePath(QStringLiteral("camera.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), pictures,
                                        QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-bf"),
                                        QStringLiteral("2"), QStringLiteral("-g"), QStringLiteral("30"),
                                        QStringLiteral("-sc_threshold"), QStringLiteral("0"), camera}));
    struct Case {
        const char *name;
        QStringList args;  // ffmpeg arguments that make it
        int firstNumber;   // the number on its first picture
    };
    const QStringList lavfi{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), pictures};
    const QList<Case> cases{
        {"cut.mov", {QStringLiteral("-ss"), QStringLiteral("2.3"), QStringLiteral("-i"), camera, QStringLiteral("-c"), QStringLiteral("copy")}, 69},
        {"cut.mp4", {QStringLiteral("-ss"), QStringLiteral("2.3"), QStringLiteral("-i"), camera, QStringLiteral("-c"), QStringLiteral("copy")}, 69},
        {"opengop.mp4", lavfi + QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-bf"), QStringLiteral("3"),
                                            QStringLiteral("-x264-params"), QStringLiteral("open-gop=1:keyint=30:min-keyint=30:scenecut=0")}, 0},
        {"hevc.mov", lavfi + QStringList{QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-x265-params"),
                                         QStringLiteral("keyint=30:min-keyint=30:log-level=error"), QStringLiteral("-tag:v"), QStringLiteral("hvc1")}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QString::fromLatin1(c.name));
        ASSERT_TRUE(testsupport::runFfmpeg(QStringList(c.args) << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << file));
        const QList<double> starts = testsupport::frameStarts(file);
        ASSERT_GT(starts.size(), 90);
        const QList<int> leading = leadingFrames(file);
        Fixture f;
        Recorder r(f);
        VideoTimelineSnapshot s;
        s.sources = {source(file), source(clips().b)};
        // The clip 1..3 at 0, b 1..2 at 2 (frames 30..59).
        s.segments = {cut(s.sources[0], 1, 3, 0), cut(s.sources[1], 1, 2, 2)};
        ASSERT_TRUE(f.load(s));
        std::vector<int> instants; // frames of the clip to seek into
        for (int k = 31; k < 89; k += 7)
            instants.push_back(k);
        for (const int k : leading) {
            if (k > 30 && k < 89)
                instants.push_back(k);
        }
        for (const int k : instants) {
            for (const double fraction : {0.0, 0.6}) {
                const double at = into(starts, k, fraction);
                ASSERT_TRUE(f.seek(at - 1));
                waitFor([] { return false; }, 30);
                const QImage image = f.player->currentFrame();
                EXPECT_EQ(frameNumberOf(image), c.firstNumber + testsupport::frameOnScreen(starts, at))
                    << "paused at source " << at;
                EXPECT_TRUE(wholeBars(image)) << "paused at source " << at;
            }
        }
        // Played through the cut to b: the clip's frame on screen just before 3 s, then b's first.
        ASSERT_TRUE(f.seek(1.5));
        r.clear();
        ASSERT_TRUE(f.playUntil([&] { return f.service.clock()->playheadTime() >= 2.2; }));
        const auto b = std::find(r.frames.begin(), r.frames.end(), 30);
        ASSERT_TRUE(b != r.frames.end() && b != r.frames.begin()) << joined(r.frames);
        EXPECT_EQ(*std::prev(b), c.firstNumber + testsupport::frameOnScreen(starts, 3 - 1e-4)) << joined(r.frames);

        // Played into leading pictures: from b, and by a jump back within the clip.
        const auto leadingIn = [&](int from, int to) {
            const auto k = std::find_if(leading.begin(), leading.end(), [&](int n) { return n > from && n < to; });
            return k == leading.end() ? -1 : *k;
        };
        const int later = leadingIn(60, 89), earlier = leadingIn(30, 60);
        if (later < 0 || earlier < 0)
            continue;
        s.segments = {cut(s.sources[1], 1, 1.5, 0), cut(s.sources[0], starts[later], starts[later] + 0.5, 0.5),
                      cut(s.sources[0], starts[earlier], starts[earlier] + 0.5, 1)};
        ASSERT_TRUE(f.load(s));
        ASSERT_TRUE(f.seek(0));
        r.clear();
        ASSERT_TRUE(f.playUntil([] { return false; }));
        const auto after = [&](auto from, auto wanted) { return std::find_if(from, r.frames.end(), wanted); };
        const auto intoLater = after(r.frames.begin(), [](int n) { return n < 30 || n > 59; });
        ASSERT_TRUE(intoLater != r.frames.end()) << joined(r.frames);
        EXPECT_EQ(*intoLater, c.firstNumber + later) << "first after the cut from b: " << joined(r.frames);
        const auto back = after(intoLater, [&](int n) { return n < c.firstNumber + later; });
        ASSERT_TRUE(back != r.frames.end()) << joined(r.frames);
        EXPECT_EQ(*back, c.firstNumber + earlier) << "first after the jump back: " << joined(r.frames);
    }
}
