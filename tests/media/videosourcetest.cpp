#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/slowdisk.h"

#include "media/videoreaderror.h"
#include "media/videosource.h"
#include "media/videotimelineerror.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::ClipSpec;
using testsupport::makeClip;

namespace {

VideoSource probeFile(const QString &path, const QUuid &id = QUuid::createUuid())
{
    return VideoSource::load(QUrl::fromLocalFile(path), id).result();
}

} // namespace

TEST(VideoSourceProbe, ReadsDurationSizeRateAndAudio)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        ClipSpec spec;
        double fps;
    };
    const QList<Case> cases = {
        {"plain.mp4", {.seconds = 2, .width = 320, .height = 240, .fps = 30, .audio = true}, 30},
        {"silent.mov", {.seconds = 1.5, .width = 640, .height = 360, .fps = 25, .audio = false,
                        .container = "mov"}, 25},
        {"ntsc.mp4", {.seconds = 1, .width = 160, .height = 120, .fps = 30000.0 / 1001, .audio = false},
         30000.0 / 1001},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = makeClip(dir.path(), c.name, c.spec);
        ASSERT_FALSE(path.isEmpty());
        const QUuid id = QUuid::createUuid();
        const VideoSource s = probeFile(path, id);
        EXPECT_EQ(s.id, id);
        EXPECT_EQ(s.url, QUrl::fromLocalFile(path));
        EXPECT_NEAR(s.duration, c.spec.seconds, 0.1);
        EXPECT_EQ(s.resolution, QSizeF(c.spec.width, c.spec.height));
        EXPECT_NEAR(s.fps, c.fps, 1e-6);
        EXPECT_GT(s.bitRate, 0);
        EXPECT_EQ(s.hasAudio, c.spec.audio);
        if (c.spec.audio)
            EXPECT_GT(s.audioBitRate, 0);
        else
            EXPECT_EQ(s.audioBitRate, 0);
    }
}

TEST(VideoSourceProbe, RotationSwapsTheDisplayedSidesAndAudioStreamsAddUp)
{
    QTemporaryDir dir;
    const QString plain = makeClip(dir.path(), "landscape.mp4", {.seconds = 1, .width = 320, .height = 180});
    ASSERT_FALSE(plain.isEmpty());
    for (const char *degrees : {"90", "270", "180"}) {
        SCOPED_TRACE(degrees);
        const QString turned = dir.filePath(QStringLiteral("turned%1.mp4").arg(degrees));
        ASSERT_TRUE(testsupport::runFfmpeg({"-i", plain, "-c", "copy", "-metadata:s:v:0",
                                            QStringLiteral("rotate=%1").arg(degrees), turned}));
        const QSizeF expected = QString(degrees) == "180" ? QSizeF(320, 180) : QSizeF(180, 320);
        EXPECT_EQ(probeFile(turned).resolution, expected);
    }

    const QString two = dir.filePath("two.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg({"-i", plain, "-map", "0:v", "-map", "0:a", "-map", "0:a", "-c", "copy", two}));
    const VideoSource b = probeFile(two);
    EXPECT_TRUE(b.hasAudio);
    EXPECT_DOUBLE_EQ(b.audioBitRate, 2 * probeFile(plain).audioBitRate);
}

TEST(VideoSourceProbe, RefusesFilesWithoutVideo)
{
    QTemporaryDir dir;
    const QString audioOnly = testsupport::makeAudioOnly(dir.path(), "song.m4a");
    ASSERT_FALSE(audioOnly.isEmpty());
    const QString empty = dir.filePath("empty.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg({"-f", "lavfi", "-i", "color=c=red:s=64x64:d=1", "-frames:v", "0", "-c:v",
                                        "libx264", empty}));
    for (const QString &path : {audioOnly, empty}) {
        const QString name = QFileInfo(path).fileName();
        try {
            probeFile(path);
            ADD_FAILURE() << "a file without video was accepted: " << name.toStdString();
        } catch (const VideoTimelineError &e) {
            EXPECT_EQ(e.kind(), VideoTimelineError::Kind::invalidVideo);
            EXPECT_EQ(e.fileName(), name);
            EXPECT_EQ(e.message(), "Cannot load video: " + name);
        }
    }

    QFile text(dir.filePath("notes.mp4"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a video\n");
    text.close();
    for (const QString &path : {text.fileName(), dir.filePath("missing.mp4")}) {
        try {
            probeFile(path);
            FAIL() << "unreadable file accepted: " << path.toStdString();
        } catch (const VideoReadError &e) {
            EXPECT_TRUE(e.message().contains(QFileInfo(path).fileName()));
            EXPECT_FALSE(e.reason().isEmpty());
        }
    }
}

// A file whose index is at the front and whose data was cut short (an interrupted
// copy) is refused, naming it, rather than taken for the length it states.
TEST(VideoSourceProbe, RefusesAFileCutShort)
{
    QTemporaryDir dir;
    const QString whole = testsupport::makeClip(
        dir.path(), "ride.mp4", {.seconds = 6, .width = 160, .height = 90, .color = QColor(), .indexAtFront = true});
    ASSERT_FALSE(whole.isEmpty());
    const qint64 size = QFileInfo(whole).size();
    struct Case {
        const char *name;
        qint64 bytes;
        bool refused;
    };
    for (const Case &c : {Case{"whole.mp4", size, false}, Case{"half.mp4", size / 2, true},
                          Case{"lastbyte.mp4", size - 1, true}}) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(QFile::copy(whole, path));
        ASSERT_TRUE(QFile::resize(path, c.bytes));
        try {
            EXPECT_NEAR(probeFile(path).duration, 6, 0.1);
            EXPECT_FALSE(c.refused) << "accepted";
        } catch (const VideoReadError &e) {
            EXPECT_TRUE(c.refused) << e.message().toStdString();
            EXPECT_EQ(e.fileName(), c.name);
            EXPECT_TRUE(e.message().contains("the file ends before the data its index lists"))
                << e.message().toStdString();
        }
    }
}

// Non-square pixels count in the displayed size, before the rotation turns it.
TEST(VideoSourceProbe, PixelShapeAndRotationMakeTheDisplayedSize)
{
    QTemporaryDir dir;
    const QString hdv = dir.filePath("hdv.mp4");
    ASSERT_TRUE(testsupport::runFfmpeg({"-f", "lavfi", "-i", "testsrc2=d=1:s=1440x1080:r=25", "-vf", "setsar=4/3",
                                        "-c:v", "libx264", "-preset", "ultrafast", hdv}));
    struct Case {
        const char *rotation;  // none: as written
        QSizeF shown;
    };
    for (const Case &c : {Case{nullptr, {1920, 1080}}, Case{"90", {1080, 1920}}, Case{"180", {1920, 1080}}}) {
        SCOPED_TRACE(c.rotation ? c.rotation : "none");
        QString file = hdv;
        if (c.rotation) {
            file = dir.filePath(QStringLiteral("hdv%1.mp4").arg(c.rotation));
            ASSERT_TRUE(testsupport::runFfmpeg({"-i", hdv, "-c", "copy", "-metadata:s:v:0",
                                                QStringLiteral("rotate=%1").arg(c.rotation), file}));
        }
        const VideoSource s = probeFile(file);
        EXPECT_EQ(s.resolution, c.shown);
        EXPECT_NEAR(s.pixelAspect, 4.0 / 3, 1e-9);
    }
}

// Start times and lengths no recording has are refused with the reason, before
// any conversion of them can overflow.
TEST(VideoSourceProbe, RefusesTimesNoRecordingHas)
{
    QTemporaryDir dir;
    struct Case {
        const char *name;
        QStringList args;  // writes Matroska to the name
        const char *reason;
    };
    const QList<Case> cases = {
        {"late.mp4", {"-f", "lavfi", "-i", "testsrc=d=1:s=160x90", "-output_ts_offset", "9000000000000"},
         "start time"},
        {"long.mkv", {"-f", "lavfi", "-i", "testsrc=d=1:s=160x90", "-itsoffset", "20000000", "-f", "lavfi", "-i",
                      "sine=d=1", "-map", "0", "-map", "1"},
         "length"},
        {"plain.mkv", {"-f", "lavfi", "-i", "testsrc=d=1:s=160x90", "-output_ts_offset", "3600"}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(testsupport::runFfmpeg(c.args + QStringList{"-f", "matroska", path}));
        try {
            const VideoSource s = probeFile(path);
            EXPECT_FALSE(c.reason) << "accepted with a length of " << s.duration;
            EXPECT_NEAR(s.duration, 1, 0.1);
        } catch (const VideoReadError &e) {
            ASSERT_TRUE(c.reason) << e.message().toStdString();
            EXPECT_EQ(e.fileName(), c.name);
            EXPECT_TRUE(e.reason().contains(c.reason)) << e.reason().toStdString();
        }
    }
}

// A clip whose index the disk refuses (a failing sector, a share that drops) is
// refused with the disk's reason, as one that may read again; a read that fails
// once and then answers costs nothing.
TEST(VideoSourceOnAFaultyDisk, AnIndexTheDiskRefusesNamesTheIOError)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_faultydisk_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.media)";
    QTemporaryDir dir;
    for (const bool indexAtFront : {false, true}) {
        const QString clip = makeClip(dir.path(), indexAtFront ? "front.mp4" : "back.mp4",
                                      {.seconds = 2, .width = 160, .height = 90, .indexAtFront = indexAtFront});
        ASSERT_FALSE(clip.isEmpty());
        const auto [from, to] = testsupport::indexBytes(clip);
        ASSERT_LT(from, to);
        for (const long failures : {-1L, 1L}) {
            SCOPED_TRACE(testing::Message() << (indexAtFront ? "index at the front" : "index at the back")
                                            << ", failures " << failures);
            testsupport::faultydisk::Fault fault(clip, from + (to - from) / 2, to, failures);
            ASSERT_TRUE(fault.active());
            try {
                EXPECT_NEAR(probeFile(clip).duration, 2, 0.1);
                EXPECT_NE(failures, -1) << "accepted";
            } catch (const VideoReadError &e) {
                EXPECT_EQ(failures, -1) << e.message().toStdString();
                EXPECT_EQ(e.message().toStdString(),
                          QStringLiteral("Cannot read video file %1: Input/output error")
                              .arg(QFileInfo(clip).fileName()).toStdString());
                EXPECT_TRUE(e.refused());
            }
        }
    }
}
