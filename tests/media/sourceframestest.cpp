#include "support/clipgenerator.h"
#include "support/sourcekinds.h"

#include "media/sourceframes.h"
#include "media/videoreaderror.h"
#include "media/videosource.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

// The picture found at a time is the one ffprobe's own frame list puts on screen
// there, on frame boundaries and between them, for every kind of source; and a
// clip's length ends at its last picture, counted from its start time.
TEST(SourceFrameReader, FindsThePictureOnScreenInEveryKindOfSource)
{
    QTemporaryDir dir;
    for (const testsupport::SourceKind &kind : testsupport::sourceKinds() + testsupport::cameraKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const QList<double> starts = testsupport::frameStarts(file);
        ASSERT_GT(starts.size(), 30);
        const VideoSource source = VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
        const double pictureEnd = 2 * starts.last() - starts[starts.size() - 2];
        if (QLatin1String(kind.name).startsWith(QLatin1String("sound")) && !kind.soundFirst)
            EXPECT_GE(source.duration, pictureEnd - 0.002);  // the sound may end later
        else  // a phone's frame times jitter by a few milliseconds
            EXPECT_NEAR(source.duration, kind.soundFirst ? kind.seconds + 0.2 : pictureEnd, 0.004);

        SourceFrameReader reader(file);
        EXPECT_NEAR(reader.startTime(), source.startTime, 1e-9);
        QList<double> times{-0.5, 0, source.duration - 0.001, source.duration + 1};
        for (qsizetype k = 1; k + 1 < starts.size(); k += std::max<qsizetype>(1, starts.size() / 12)) {
            const double length = starts[k + 1] - starts[k];
            times << starts[k] << starts[k] + 0.45 * length << starts[k] + 0.9 * length;
        }
        for (double t : times) {
            SCOPED_TRACE(t);
            const auto frame = reader.frameAt(t);
            ASSERT_TRUE(frame.has_value());
            const int shown = testsupport::frameOnScreen(starts, t);
            EXPECT_NEAR(frame->start, starts[shown], 2e-6);
            if (shown + 1 < starts.size())
                EXPECT_NEAR(frame->end, starts[shown + 1], 2e-6);
        }
    }
    EXPECT_THROW(SourceFrameReader(dir.filePath(QStringLiteral("missing.mp4"))), VideoReadError);
}

// A time no clip reaches gives its last picture, one before any its first, without
// a conversion overflowing; a file whose start time no recording has is refused.
TEST(SourceFrameReader, FarTimesAndHostileStartTimes)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeNumberedClip(dir.path(), QStringLiteral("clip.mp4"), 2);
    ASSERT_FALSE(clip.isEmpty());
    const QList<double> starts = testsupport::frameStarts(clip);
    SourceFrameReader reader(clip);
    for (double t : {4.5e12, 1e15, 1e300, double(INFINITY)}) {
        const auto frame = reader.frameAt(t);
        ASSERT_TRUE(frame.has_value()) << t;
        EXPECT_NEAR(frame->start, starts.last(), 2e-6) << t;
    }
    for (double t : {-4.5e12, -1e300, -double(INFINITY)}) {
        const auto frame = reader.frameAt(t);
        ASSERT_TRUE(frame.has_value()) << t;
        EXPECT_NEAR(frame->start, starts.first(), 2e-6) << t;
    }
    EXPECT_FALSE(reader.frameAt(NAN).has_value());

    // Matroska behind an .mp4 name, starting 9e12 s after its clock's zero.
    const QString hostile = dir.filePath(QStringLiteral("hostile.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg({"-f", "lavfi", "-i", "testsrc=d=2:s=160x90", "-output_ts_offset",
                                        "9000000000000", "-f", "matroska", hostile}));
    try {
        SourceFrameReader refused(hostile);
        ADD_FAILURE() << "a start time of 9e12 s was accepted";
    } catch (const VideoReadError &e) {
        EXPECT_EQ(e.fileName(), QStringLiteral("hostile.mp4"));
        EXPECT_TRUE(e.reason().contains(QStringLiteral("start time"))) << e.reason().toStdString();
    }
}

// HEVC pieces join one reader as they are only where decoding starts on a closed
// GOP's IDR picture: x265's open GOPs start on CRA pictures, whose leading pictures
// refer to the GOP before (those join once told to start afresh); its first GOP
// opens on an IDR picture either way. Length-prefixed
// (mp4) and start-code (MPEG-TS) packets alike; in MPEG-TS only cuts whose seek
// lands on their keyframe, as decoding starts wherever it lands.
TEST(SourceFrameReader, HevcJoinsOnlyWhereReadingStartsOnAClosedGop)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        const char *params;
        const char *format;
        bool closed;
        QList<double> times;
        bool turned = false; // shown turned: whoever reads its copies turns them
    };
    const QList<double> anywhere{0, 0.5, 1.2, 2.0, 3.7};
    const QList<double> onKeyframes{0, 2.0, 3.0};
    for (const Case &c : {Case{"closed.mp4", "open-gop=0", "mp4", true, anywhere},
                          Case{"open.mp4", "open-gop=1", "mp4", false, anywhere},
                          Case{"closed.ts", "open-gop=0:bframes=0", "mpegts", true, onKeyframes},
                          Case{"open.ts", "open-gop=1:bframes=0", "mpegts", false, onKeyframes},
                          Case{"turned.mov", "open-gop=1", "mov", false, anywhere, true}}) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QLatin1String(c.name));
        ASSERT_TRUE(testsupport::runFfmpeg(
            {"-f", "lavfi", "-i", testsupport::numberedPictures(4, 160, 90, QStringLiteral("30")), "-c:v", "libx265",
             "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-x265-params",
             QStringLiteral("keyint=30:min-keyint=30:scenecut=0:log-level=error:") + QLatin1String(c.params), "-f",
             c.format, file}));
        // Turned as a phone's clip is: by the container, on a copy.
        if (c.turned) {
            const QString stored = dir.filePath(QStringLiteral("stored.mov"));
            ASSERT_TRUE(QFile::rename(file, stored));
            ASSERT_TRUE(testsupport::runFfmpeg({"-i", stored, "-c", "copy", "-metadata:s:v:0", "rotate=90", file}));
        }
        SourceFrameReader reader(file);
        for (double t : c.times) {
            const auto cut = reader.cutAt(t);
            ASSERT_TRUE(cut.has_value()) << t;
            EXPECT_EQ(cut->joinable, t < 1 || c.closed) << t;
            // What an open GOP starts is joined when the decoder is told to start afresh.
            EXPECT_EQ(cut->joinsAfresh, !cut->joinable) << t;
            EXPECT_EQ(cut->turn.isEmpty(), !c.turned) << t;
        }
    }
}
