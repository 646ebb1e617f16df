// Timelines drawn at random over every kind of clip people bring, cut off frame
// boundaries, with gaps, pieces to a clip's end and jumps back within one file: each
// exported frame and each paused preview picture is the one the clip's own frame list
// puts on screen at that instant. ROUTEREEL_SEED=n replays the timelines of seed n.
#include "timeline/videoplayerservice.h"
#include "timeline/views/timelineplayer.h"

#include "../export/exporttestutil.h"
#include "support/sourcekinds.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace routereel;
using namespace exporttest;
using testsupport::cut;
using testsupport::waitFor;

namespace {

struct Clip {
    testsupport::SourceKind kind;
    VideoSource source;
    QList<double> starts;
    bool portrait = false;

    // The number on the picture on screen at source time `t`.
    int numberAt(double t) const { return kind.firstPicture + testsupport::frameOnScreen(starts, t); }
};

struct Clips {
    QTemporaryDir dir;
    std::vector<Clip> all;
};

const Clips &clips()
{
    static const Clips made = [] {
        Clips c;
        for (const auto *kinds : {&testsupport::sourceKinds(), &testsupport::cameraKinds()}) {
            for (const testsupport::SourceKind &kind : *kinds) {
                // GStreamer seeks no MPEG-TS before it has played: the preview cannot show one.
                if (QString::fromLatin1(kind.name).endsWith(QLatin1String(".ts")))
                    continue;
                const QString file = testsupport::makeSourceKind(c.dir.path(), kind);
                if (file.isEmpty())
                    continue;
                Clip clip{kind, sourceFor(file), testsupport::frameStarts(file)};
                clip.portrait = clip.source.resolution.height() > clip.source.resolution.width();
                c.all.push_back(clip);
            }
        }
        return c;
    }();
    return made;
}

struct Piece {
    const Clip *clip;
    double from, to, offset;
};

struct Timeline {
    std::vector<Piece> pieces;
    double fps = 30;
    bool portrait = false;

    double end() const { return pieces.empty() ? 0 : pieces.back().offset + pieces.back().to - pieces.back().from; }

    std::string text() const
    {
        std::string s = "fps " + std::to_string(fps) + ":";
        for (const Piece &p : pieces)
            s += QStringLiteral(" [%1 %2..%3 at %4]")
                     .arg(QLatin1String(p.clip->kind.name))
                     .arg(p.from, 0, 'f', 6)
                     .arg(p.to, 0, 'f', 6)
                     .arg(p.offset, 0, 'f', 6)
                     .toStdString();
        return s;
    }

    VideoTimelineSnapshot snapshot() const
    {
        VideoTimelineSnapshot s;
        for (const Piece &p : pieces) {
            if (std::none_of(s.sources.begin(), s.sources.end(),
                             [&](const VideoSource &v) { return v.id == p.clip->source.id; }))
                s.sources << p.clip->source;
            s.segments << cut(p.clip->source, p.from, p.to, p.offset);
        }
        return s;
    }

    // The number on screen at timeline time t; -1 in a gap.
    int numberAt(double t) const
    {
        for (const Piece &p : pieces) {
            if (t >= p.offset && t < p.offset + (p.to - p.from))
                return p.clip->numberAt(p.from + (t - p.offset));
        }
        return -1;
    }

    // What each exported frame shows: pieces start and end on whole frames of the
    // timeline's rate, and gaps are black (read as 0).
    QList<int> exportedNumbers() const
    {
        const auto total = std::llround(end() * fps);
        QList<int> numbers(total, 0);
        for (const Piece &p : pieces) {
            const auto first = std::min<long long>(total, std::ceil(p.offset * fps - 1e-6));
            const auto last = std::min<long long>(total, std::ceil((p.offset + p.to - p.from) * fps - 1e-6));
            for (long long n = first; n < last; ++n)
                numbers[n] = p.clip->numberAt(p.from + (n / fps - p.offset));
        }
        return numbers;
    }
};

unsigned seed()
{
    bool ok = false;
    const unsigned given = qEnvironmentVariable("ROUTEREEL_SEED").toUInt(&ok);
    return ok ? given : 20261208u;
}

std::vector<Timeline> drawTimelines(unsigned seed, int count)
{
    std::mt19937 random(seed);
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(random); };
    const auto chance = [&](double p) { return uniform(0, 1) < p; };
    const double rates[] = {30, 25, 30000.0 / 1001, 50};
    std::vector<Timeline> timelines;
    for (int i = 0; i < count; ++i) {
        Timeline t;
        t.fps = rates[random() % 4];
        t.portrait = chance(0.2);
        std::vector<const Clip *> pool;
        for (const Clip &c : clips().all) {
            if (c.portrait == t.portrait)
                pool.push_back(&c);
        }
        const int pieces = 1 + int(random() % 5);
        double offset = 0;
        for (int k = 0; k < pieces && !pool.empty(); ++k) {
            if (k > 0 && chance(0.2))
                offset += uniform(0.1, 0.6); // a gap
            const Piece *previous = t.pieces.empty() ? nullptr : &t.pieces.back();
            // The same file again with a jump back, as a split and a move leave it.
            const bool jumpBack = previous && previous->from > 0.3 && chance(0.3);
            const Clip *clip = jumpBack ? previous->clip : pool[random() % pool.size()];
            const double duration = clip->source.duration;
            const double length = std::min(duration, uniform(0.1, 1.5));
            double from = uniform(0, duration - length);
            if (jumpBack)
                from = uniform(0, previous->from - 0.1);
            else if (chance(0.25))
                from = duration - length; // to the clip's end
            const double to = std::min(duration, from + length);
            t.pieces.push_back({clip, from, to, offset});
            offset += to - from;
        }
        timelines.push_back(t);
    }
    return timelines;
}

std::string listed(const QList<int> &numbers)
{
    std::string s;
    for (const int n : numbers)
        s += std::to_string(n) + " ";
    return s;
}

} // namespace

TEST(RandomTimelines, EveryExportedFrameIsTheOneOnScreen)
{
    ASSERT_FALSE(clips().all.empty());
    const unsigned s = seed();
    std::printf("seed %u\n", s);
    QTemporaryDir dir;
    const GPXTrack track = makeTrack(20);
    int failed = 0;
    for (const Timeline &t : drawTimelines(s, 24)) {
        SCOPED_TRACE("seed " + std::to_string(s) + ", timeline " + t.text());
        const VideoTimelineSnapshot snapshot = t.snapshot();
        const QString output = dir.filePath(QStringLiteral("random.mp4"));
        ExportTask task = regularTask(output, snapshot.sources, snapshot.segments);
        task.videoFPS = t.fps;
        task.videoResolution = t.portrait ? QSizeF(180, 320) : QSizeF(320, 180);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        VideoExporter exporter;
        const bool exported = exportSucceeds(exporter, task);
        EXPECT_TRUE(exported);
        if (!exported) {
            ++failed;
            continue;
        }
        const QList<int> want = t.exportedNumbers();
        const QList<int> got = testsupport::shownFrameNumbers(output);
        EXPECT_EQ(got, want) << "got  " << listed(got) << "\nwant " << listed(want);
        failed += got != want;
        QFile::remove(output);
    }
    std::printf("%d of 24 timelines differ\n", failed);
}

TEST(RandomTimelines, EveryPausedPreviewPictureIsTheOneOnScreen)
{
    ASSERT_FALSE(clips().all.empty());
    const unsigned s = seed();
    std::printf("seed %u\n", s);
    std::mt19937 random(s + 1);
    auto *player = new TimelinePlayer;
    VideoPlayerService service{player};
    int failed = 0, seeks = 0;
    for (const Timeline &t : drawTimelines(s, 24)) {
        SCOPED_TRACE("seed " + std::to_string(s) + ", timeline " + t.text());
        service.loadTimeline(t.snapshot());
        ASSERT_TRUE(waitFor([&] { return service.isMetadataReady() && !service.isSeeking(); }, 10000));
        // Random instants, the first piece's start and each later piece's first instant.
        std::vector<double> instants;
        for (int k = 0; k < 3; ++k)
            instants.push_back(std::uniform_real_distribution<double>(0, t.end())(random));
        for (const Piece &p : t.pieces)
            instants.push_back(p.offset);
        for (const double at : instants) {
            service.seek(at);
            ASSERT_TRUE(waitFor([&] { return !service.isSeeking(); }, 10000)) << "seek to " << at;
            waitFor([] { return false; }, 30);
            const int want = t.numberAt(at);
            const int got = testsupport::frameNumberOf(player->currentFrame());
            EXPECT_EQ(got, want) << "paused at " << at;
            failed += got != want;
            ++seeks;
        }
    }
    std::printf("%d of %d paused seeks differ\n", failed, seeks);
}
