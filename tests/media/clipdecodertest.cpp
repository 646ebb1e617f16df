#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/sourcekinds.h"

#include "media/clipdecoder.h"
#include "media/videoreaderror.h"
#include "media/videotimelineerror.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <random>

using namespace routereel;

namespace {

// The number a numbered clip's picture carries, read from its luma by libswscale,
// whatever the pixel format; `rotation` turns the stored picture upright (clockwise).
int numberOf(const AVFrame *frame, int rotation = 0)
{
    constexpr int width = 240;
    SwsContext *sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), width,
                                     frame->height, AV_PIX_FMT_GRAY8, SWS_POINT, nullptr, nullptr, nullptr);
    if (!sws)
        return -1;
    std::vector<uint8_t> luma(size_t(width) * frame->height);
    uint8_t *dst[4] = {luma.data()};
    const int dstStride[4] = {width};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    sws_freeContext(sws);
    const int h = frame->height;
    int n = 0;
    for (int bar = 0; bar < 12; ++bar) {
        const double along = (bar + 0.5) / 12; // across the upright picture
        int x = int(along * width), y = h / 2;
        if (rotation == 90)
            x = width / 2, y = int((1 - along) * h);
        else if (rotation == 270)
            x = width / 2, y = int(along * h);
        else if (rotation == 180)
            x = int((1 - along) * width);
        if (luma[size_t(std::min(y, h - 1)) * width + std::min(x, width - 1)] > 128)
            n |= 1 << bar;
    }
    return n;
}

} // namespace

// The picture at a time, asked in random order (reading on, seeking back, seeking far
// ahead), is the one ffprobe's frame list puts on screen there, with its start and
// end; and playing on from there yields the pictures that follow, in order.
TEST(ClipDecoder, GivesThePictureOnScreenInEveryKindOfSource)
{
    QTemporaryDir dir;
    std::mt19937 random(7);
    for (const testsupport::SourceKind &kind : testsupport::sourceKinds() + testsupport::cameraKinds() + testsupport::troubleKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const QList<double> starts = testsupport::frameStarts(file);
        ClipDecoder decoder(file);
        const double end = 2 * starts.last() - starts[starts.size() - 2];
        std::uniform_real_distribution<double> anywhere(-0.2, end + 0.2);
        QList<double> times{0, starts[1], end + 1};
        for (int i = 0; i < 14; ++i)
            times << anywhere(random);
        for (int i = 0; i < 3; ++i) // just after the one before: read on
            times << times.last() + 0.02;
        for (double t : times) {
            SCOPED_TRACE(t);
            const auto picture = decoder.pictureAt(t);
            ASSERT_TRUE(picture.has_value());
            const int shown = testsupport::frameOnScreen(starts, t);
            EXPECT_NEAR(picture->start, starts[shown], 2e-6);
            if (shown + 1 < starts.size())
                EXPECT_NEAR(picture->end, starts[shown + 1], 2e-6);
            EXPECT_EQ(numberOf(picture->frame.get(), decoder.rotation()), kind.number(shown));
        }
        const double from = anywhere(random);
        decoder.pictureAt(from);
        int expected = testsupport::frameOnScreen(starts, from) + 1;
        for (int i = 0; i < 20 && expected < starts.size(); ++i, ++expected) {
            const auto picture = decoder.next();
            ASSERT_TRUE(picture.has_value());
            EXPECT_EQ(numberOf(picture->frame.get(), decoder.rotation()), kind.number(expected)) << "playing on from " << from;
        }
    }
    EXPECT_THROW(ClipDecoder(dir.filePath(QStringLiteral("missing.mp4"))), VideoReadError);
}

// Damaged clips: an index without keyframes still gives every time its own picture
// (ffmpeg decodes them all); media data that decodes to nothing gives none, and a
// decoder that cannot be opened throws (owning what it made: the sanitizer's leak
// check sees it); neither waits on anything.
TEST(ClipDecoder, DamagedClipsGiveThePictureAtEachTimeOrNone)
{
    enum class Outcome { pictures, none, refused };
    const struct {
        const char *name;
        testsupport::Damage damage;
        Outcome outcome;
    } cases[] = {
        {"no keyframe flagged", testsupport::Damage::noKeyframe, Outcome::pictures},
        {"media data zeroed", testsupport::Damage::zeroedMedia, Outcome::none},
        {"depth of no pixel format", testsupport::Damage::unknownDepth, Outcome::refused},
    };
    QTemporaryDir dir;
    // Keyframes 1 s apart, B-frames: a seek must land on one and read on from it.
    const QString clip = testsupport::makeNumberedCameraClip(dir.path(), QStringLiteral("clip.mp4"), 6, 320, 180, 30, 1);
    const QString raw = dir.filePath(QStringLiteral("raw.mov"));
    ASSERT_FALSE(clip.isEmpty());
    ASSERT_TRUE(testsupport::runFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                        QStringLiteral("testsrc2=s=64x36:d=1"), QStringLiteral("-c:v"),
                                        QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), raw}));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".mov"));
        ASSERT_TRUE(testsupport::damageCopy(c.outcome == Outcome::refused ? raw : clip, file, c.damage));
        if (c.outcome == Outcome::refused) {
            EXPECT_THROW(ClipDecoder{file}, VideoTimelineError);
            continue;
        }
        ClipDecoder decoder(file);
        const QList<double> starts = testsupport::frameStarts(file);
        for (double t : {0.0, 5.0, 2.5, 0.4, 0.5, 3.9, 5.95}) {
            SCOPED_TRACE(t);
            const auto picture = decoder.pictureAt(t);
            if (c.outcome == Outcome::none) {
                EXPECT_FALSE(picture.has_value());
                continue;
            }
            ASSERT_TRUE(picture.has_value());
            EXPECT_EQ(numberOf(picture->frame.get()), testsupport::frameOnScreen(starts, t));
        }
    }
}
