#include "exporttestutil.h"

#include "export/exportqueue.h"
#include "export/exportsourcecheck.h"
#include "export/exportstarterror.h"
#include "media/sounddecodecheck.h"
#include "media/soundreader.h"
#include "project/projectsession.h"
#include "support/slowdisk.h"
#include "support/sourcekinds.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

using namespace exporttest;

// A clip of a loaded timeline replaced on disk by another file before the export:
// a shorter one would repeat its last picture to the end of the piece, another
// size or rate would be scaled or retimed, and all of it reported as a success.
TEST(ExportSourceCheck, AClipChangedSinceItWasLoadedIsRefusedByNameAndNothingIsWritten)
{
    QTemporaryDir dir;
    const auto clip = [&](const char *name, testsupport::ClipSpec spec) {
        spec.audio = false;
        return testsupport::makeClip(dir.path(), QString::fromLatin1(name), spec);
    };
    const QString first = clip("a.mp4", {2, 160, 90, 30});
    const QString second = clip("b.mp4", {4, 160, 90, 30});
    ASSERT_FALSE(first.isEmpty() || second.isEmpty());
    const VideoSource a = sourceFor(first);
    const VideoSource b = sourceFor(second);
    ExportTask task = regularTask(dir.filePath(QStringLiteral("out.mp4")), {a, b}, {cut(a, 0, 2, 0), cut(b, 0, 4, 2)});
    const GPXTrack track = makeTrack(6);
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.timeWidget = textWidget(10, 10);

    struct Case {
        const char *name;
        std::function<QString()> replacement;
        bool refused;
        bool chinese = false;
    };
    const QList<Case> cases{
        {"1 s long", [&] { return clip("r1.mp4", {1, 160, 90, 30}); }, true},
        {"2 s long, in Chinese", [&] { return clip("r2.mp4", {2, 160, 90, 30}); }, true, true},
        {"a larger picture", [&] { return clip("r3.mp4", {4, 320, 180, 30}); }, true},
        {"another rate", [&] { return clip("r4.mp4", {4, 160, 90, 25}); }, true},
        {"no video at all",
         [&] {
             const QString path = dir.filePath(QStringLiteral("r5.mp4"));
             QFile file(path);
             return file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096 ? path : QString();
         },
         true},
        // Padded with the last picture, as the piece always was.
        {"a frame short", [&] { return clip("r6.mp4", {4 - 1 / 30.0, 160, 90, 30}); }, false},
        {"a picture two frames short of its sound",
         [&] {
             return testsupport::makeClipWithSound(dir.path(), QStringLiteral("r7.mp4"),
                                                   {4 - 2 / 30.0, 160, 90, 30, true, Qt::blue}, QStringLiteral("30"),
                                                   4);
         },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString replacement = c.replacement();
        ASSERT_FALSE(replacement.isEmpty());
        ASSERT_TRUE(QFile::remove(second) && QFile::copy(replacement, second));
        std::optional<MarkingTranslator> chinese;
        if (c.chinese)
            chinese.emplace();
        const QStringList before = QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        ExportQueue queue;
        auto log = std::make_shared<RecordingLog>();
        queue.setLog(log);
        queue.enqueue(task);
        ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
        ASSERT_EQ(queue.history().size(), 1);
        const ExportTaskStatus status = queue.history().first().status;
        const QString output = task.outputURL.toLocalFile();
        if (!c.refused) {
            EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::completed) << status.message().toStdString();
            EXPECT_EQ(probeStream(output, QStringLiteral("v:0")).value(QStringLiteral("nb_read_frames")),
                      QStringLiteral("180"));
            QFile::remove(output);
            continue;
        }
        const QString message = ExportError::sourceVideoChanged(second).message();
        EXPECT_TRUE(message.startsWith((c.chinese ? QStringLiteral("<zh>") : QString())
                                       + QStringLiteral("Source video changed since it was loaded:\n") + second
                                       + QLatin1Char('\n')))
            << message.toStdString();
        EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::failed);
        EXPECT_EQ(status.message(), message);
        EXPECT_EQ(log->titles().mid(1), (QStringList{QStringLiteral("Export Start"), QStringLiteral("Export Failed")}));
        EXPECT_TRUE(log->entries.last().detail.endsWith(message));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    }
}

// Every kind of clip people bring, untouched since it was loaded, passes the check,
// also with a piece of an earlier project restored to the clip's end.
TEST(ExportSourceCheck, NoKindOfClipIsRefusedWhileUnchanged)
{
    QTemporaryDir dir;
    for (const auto *kinds : {&testsupport::sourceKinds(), &testsupport::cameraKinds()}) {
        for (const testsupport::SourceKind &kind : *kinds) {
            SCOPED_TRACE(kind.name);
            const QString file = testsupport::makeSourceKind(dir.path(), kind);
            ASSERT_FALSE(file.isEmpty());
            const VideoSource clip = sourceFor(file);
            const auto restored = ProjectSession::restorableVideoSegment(
                VideoSegment{QUuid::createUuid(), clip.id, 0, clip.statedDuration, 0}, {clip});
            ASSERT_TRUE(restored);
            VideoTimelineSnapshot timeline;
            timeline.sources = {clip};
            timeline.segments = {*restored};
            EXPECT_FALSE(exportsourcecheck::changedSource(timeline));
            EXPECT_TRUE(timeline.singleFullSource());
        }
    }
}

namespace {

// `clip` with the AAC of its `stream`-th sound (counted from 0) stating object
// type 6 (scalable), which libavcodec does not decode; the file still probes.
bool makeSoundUndecodable(const QString &clip, int stream = 0)
{
    QFile file(clip);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray data = file.readAll();
    qsizetype at = -1;
    for (int s = 0; s <= stream; ++s) {
        at = data.indexOf("esds", at + 1);
        if (at < 0)
            return false;
    }
    // The DecoderSpecificInfo (tag 5, its size in up to four bytes) holds the
    // AudioSpecificConfig, whose first five bits are the object type: 2, AAC LC.
    for (qsizetype tag = data.indexOf('\x05', at); tag > 0 && tag < at + 64; tag = data.indexOf('\x05', tag + 1)) {
        qsizetype config = tag + 1;
        while (config < data.size() && (uchar(data[config]) & 0x80))
            ++config;
        ++config;
        if (config < data.size() && (uchar(data[config]) >> 3) == 2) {
            data[config] = char((uchar(data[config]) & 0x07) | (6 << 3));
            return file.seek(0) && file.write(data) == data.size();
        }
    }
    return false;
}

} // namespace

// Sound libavcodec cannot decode: a cut would fail in the middle of ffmpeg's
// start, a whole clip would copy it as it is and report success. Both roads are
// refused before anything is written, with the clip named; a cut reads only the
// first sound stream, so an undecodable second one stops a whole clip only.
TEST(ExportSourceCheck, SoundThatCannotBeDecodedIsRefusedByNameOnBothRoads)
{
    QTemporaryDir dir;
    const QString good = testsupport::makeClip(dir.path(), QStringLiteral("good.mp4"), {2, 160, 90, 30});
    const QString bad = testsupport::makeClip(dir.path(), QStringLiteral("bad.mp4"), {2, 160, 90, 30});
    ASSERT_FALSE(good.isEmpty() || bad.isEmpty());
    ASSERT_TRUE(makeSoundUndecodable(bad));
    const QString second = dir.filePath(QStringLiteral("second.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg({"-i", good, "-i", good, "-map", "0:v", "-map", "0:a", "-map", "1:a", "-c",
                                        "copy", second}));
    ASSERT_TRUE(makeSoundUndecodable(second, 1));
    const VideoSource goodClip = sourceFor(good), badClip = sourceFor(bad), secondClip = sourceFor(second);
    const GPXTrack track = makeTrack(3);

    struct Case {
        const char *name;
        VideoSource clip;
        bool whole;
        bool refused;
    };
    const QList<Case> cases{
        {"whole, sound copied", badClip, true, true},
        {"cut", badClip, false, true},
        {"whole, the second sound undecodable", secondClip, true, true},
        {"cut, the second sound undecodable", secondClip, false, false},
        {"whole, decodable", goodClip, true, false},
        {"cut, decodable", goodClip, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QStringLiteral("out.mp4"));
        const QList<VideoSegment> segments{c.whole ? cut(c.clip, 0, c.clip.duration, 0) : cut(c.clip, 0.5, 1.5, 0)};
        ExportTask task = regularTask(output, {c.clip}, segments);
        task.tracks = {track};
        task.segments = {wholeTrack(track)};
        const QStringList before = QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
        VideoExporter exporter;
        const std::optional<ExportResult> result = runExport(exporter, task);
        ASSERT_TRUE(result);
        if (!c.refused) {
            EXPECT_TRUE(result->succeeded()) << result->message().toStdString();
            EXPECT_EQ(probeStream(output, QStringLiteral("a:0")).value(QStringLiteral("codec_name")),
                      QStringLiteral("aac"));
            QFile::remove(output);
            continue;
        }
        const std::optional<ExportError> error = result->exportError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ExportError::Kind::sourceSoundUndecodable);
        EXPECT_EQ(error->payload(), c.clip.url.toLocalFile());
        EXPECT_TRUE(result->message().contains(QStringLiteral("(aac): Function not implemented")))
            << result->message().toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), before);
    }
}

namespace {

// A 0.5 s clip whose sound has `channels` channels: one low sine read as that
// many channels, so that each carries sound well below the AAC encoder's cut-off.
// `layout` names the places of a named layout, else the file states none (as raw
// PCM is written, and Opus of mapping family 255); `codec` is its sound's.
QString manyChannelClip(const QString &dir, const QString &name, int channels, const char *codec,
                        const char *layout = nullptr)
{
    const QString raw = QDir(dir).filePath(name + QStringLiteral(".raw"));
    const QString path = QDir(dir).filePath(name);
    const bool made = testsupport::runFfmpeg(
                          words(QStringLiteral("-f lavfi -i sine=f=100:r=48000:d=%1 -f s16le").arg(0.5 * channels))
                          << raw)
        && testsupport::runFfmpeg(
                          words(QStringLiteral("-f s16le -ar 48000 -ac %1 -i").arg(channels)) << raw
                          << words(QStringLiteral("-f lavfi -i testsrc2=s=160x90:r=30:d=0.5 -map 1:v -map 0:a "
                                                  "-c:v libx264 -preset ultrafast -c:a %1")
                                       .arg(QLatin1String(codec)))
                          << (QLatin1String(codec) == QLatin1String("libopus")
                                  ? words(QStringLiteral("-mapping_family 255"))
                                  : QStringList())
                          << (layout ? words(QStringLiteral("-af channelmap=channel_layout=%1").arg(QLatin1String(layout)))
                                     : QStringList())
                          << path);
    QFile::remove(raw);
    return made ? path : QString();
}

// Root mean square of each of the first two channels of `pcm` (interleaved stereo).
std::pair<double, double> loudness(const float *pcm, qsizetype frames)
{
    double left = 0, right = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        left += double(pcm[2 * i]) * pcm[2 * i];
        right += double(pcm[2 * i + 1]) * pcm[2 * i + 1];
    }
    frames = std::max<qsizetype>(frames, 1);
    return {std::sqrt(left / frames), std::sqrt(right / frames)};
}

} // namespace

// The preview plays and the export writes every sound alike, however many channels
// it has and whether or not it states their places; what neither can mix is refused
// by both with one reason, before ffmpeg starts.
TEST(ExportSourceCheck, ThePreviewAndTheExportAgreeAboutSoundOfEveryChannelCount)
{
    QTemporaryDir dir;
    const GPXTrack track = makeTrack(1);
    struct Case {
        const char *file;
        int channels;
        const char *codec;
        const char *layout;
        int wholeChannels; // the export of the whole clip; 0: refused
    };
    const Case cases[] = {
        {"1.mov", 1, "pcm_s16le", nullptr, 1},
        {"2.mov", 2, "pcm_s16le", nullptr, 2},
        {"6.mov", 6, "pcm_s16le", nullptr, 6},
        {"8.mov", 8, "pcm_s16le", nullptr, 8},
        {"6-opus.mp4", 6, "libopus", nullptr, 6},
        {"12.mov", 12, "pcm_s16le", nullptr, 2},
        {"16-named.mov", 16, "pcm_s16le", "hexadecagonal", 16},
        {"16-opus.mp4", 16, "libopus", nullptr, 16},
        {"24.mov", 24, "pcm_s16le", nullptr, 2},
        {"64.mov", 64, "pcm_s16le", nullptr, 2},
        {"70.mov", 70, "pcm_s16le", nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = manyChannelClip(dir.path(), QString::fromLatin1(c.file), c.channels, c.codec, c.layout);
        ASSERT_FALSE(path.isEmpty());
        ASSERT_EQ(testsupport::probeStream(path, QStringLiteral("a:0"), QStringLiteral("stream=channels"))
                      .value(QStringLiteral("channels")),
                  QString::number(c.channels));
        const VideoSource clip = sourceFor(path);

        // The preview: its check, then its reader, which plays the sound as stereo.
        const std::optional<QString> refusal = soundDecodeFailure(path, false);
        EXPECT_EQ(refusal.has_value(), c.wholeChannels == 0) << refusal.value_or(QString()).toStdString();
        SoundReader reader(48000, 2);
        reader.setPieces({{0, 0.5, path, 0}});
        std::vector<float> preview(48000 / 2 * 2);
        preview.resize(std::size_t(reader.read(preview.data(), qint64(preview.size() / 2))) * 2);
        const QList<VideoReadError> errors = reader.takeErrors();
        const auto [left, right] = loudness(preview.data(), qsizetype(preview.size() / 2));
        if (!refusal) {
            EXPECT_TRUE(errors.isEmpty()) << (errors.isEmpty() ? std::string() : errors.first().message().toStdString());
            EXPECT_GT(left, 0.01);
            EXPECT_GT(right, 0.01);
        }

        for (const bool whole : {true, false}) {
            SCOPED_TRACE(whole ? "whole" : "cut");
            const QString output = dir.filePath(QStringLiteral("out.mp4"));
            ExportTask task = regularTask(output, {clip}, {whole ? cut(clip, 0, clip.duration, 0) : cut(clip, 0.1, 0.4, 0)});
            task.tracks = {track};
            task.segments = {wholeTrack(track)};
            task.timeWidget = textWidget(10, 10);
            VideoExporter exporter;
            const std::optional<ExportResult> result = runExport(exporter, task);
            ASSERT_TRUE(result);
            if (refusal) {
                ASSERT_TRUE(result->exportError());
                EXPECT_EQ(result->exportError()->kind(), ExportError::Kind::sourceSoundUndecodable);
                EXPECT_EQ(result->exportError()->payload(), path);
                EXPECT_TRUE(result->message().contains(*refusal)) << result->message().toStdString();
                continue;
            }
            ASSERT_TRUE(result->succeeded()) << result->message().toStdString();
            const QMap<QString, QString> sound
                = testsupport::probeStream(output, QStringLiteral("a:0"), QStringLiteral("stream=codec_name,channels"));
            EXPECT_EQ(sound.value(QStringLiteral("codec_name")), QStringLiteral("aac"));
            EXPECT_EQ(sound.value(QStringLiteral("channels")), QString::number(whole ? c.wholeChannels : 2));
            if (whole)
                continue;
            // A cut piece is mixed to stereo as the preview mixes it: as loud on each side.
            const QString pcm = output + QStringLiteral(".f32");
            ASSERT_TRUE(testsupport::runFfmpeg(QStringList{QStringLiteral("-i"), output}
                                               << words(QStringLiteral("-map 0:a -f f32le -ac 2")) << pcm));
            const QByteArray exported = readAll(pcm);
            const auto [exportedLeft, exportedRight] = loudness(
                reinterpret_cast<const float *>(exported.constData()), exported.size() / 8);
            EXPECT_NEAR(20 * std::log10(exportedLeft / left), 0, 1.5);
            EXPECT_NEAR(20 * std::log10(exportedRight / right), 0, 1.5);
            QFile::remove(pcm);
        }
    }
}

// A clip that is there but cannot be read (its share dropped out, its first bytes answer EIO)
// is refused with the read error, at the start check and by the queued export alike, and
// nothing is written; it is no "changed" or "missing" clip.
TEST(FaultyDiskExport, AClipThatCannotBeReadIsRefusedWithTheReadError)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this as OnAFaultyDisk.export)";
    QTemporaryDir dir;
    const QString share = dir.filePath(QStringLiteral("share"));
    ASSERT_TRUE(QDir().mkpath(share));
    const QString clip = testsupport::makeClip(share, QStringLiteral("ride.mp4"), {2, 160, 90, 30});
    ASSERT_FALSE(clip.isEmpty());
    const VideoSource source = sourceFor(clip);
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ExportTask task = regularTask(output, {source}, {cut(source, 0, 2, 0)});

    struct Case {
        const char *name;
        int error;
        bool wholeFolder;  // else only the file's bytes answer the error
    };
    for (const Case &c : {Case{"folder answers EIO", EIO, true}, Case{"folder answers ENOTCONN", ENOTCONN, true},
                          Case{"file's bytes answer EIO", EIO, false}}) {
        SCOPED_TRACE(c.name);
        std::optional<testsupport::faultydisk::FolderOutage> outage;
        std::optional<testsupport::faultydisk::Fault> fault;
        if (c.wholeFolder)
            outage.emplace(share, c.error);
        else
            fault.emplace(clip, 0, QFileInfo(clip).size());
        ASSERT_TRUE(outage ? outage->active() : fault->active());
        const QString expected
            = ExportError::sourceVideoUnreadable(clip, QString::fromLocal8Bit(std::strerror(c.error))).message();
        EXPECT_TRUE(expected.startsWith(QStringLiteral("The source video \"%1\" cannot be read: %2\n")
                                            .arg(clip, QString::fromLocal8Bit(std::strerror(c.error)))))
            << expected.toStdString();
        if (c.wholeFolder) {
            const auto atStart = exportsourcecheck::unreachableSource(clip);
            EXPECT_EQ(atStart ? ExportStartError::sourceVideo(*atStart).message() : QString(), expected);
        }
        ExportQueue queue;
        queue.enqueue(task);
        ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
        const ExportTaskStatus status = queue.history().first().status;
        EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::failed);
        EXPECT_EQ(status.message().toStdString(), expected.toStdString());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                  QStringList{QStringLiteral("share")});
    }
    // Back: the clip exports.
    ExportQueue queue;
    queue.enqueue(task);
    ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));
    EXPECT_EQ(queue.history().first().status, ExportTaskStatus::completed());
}
