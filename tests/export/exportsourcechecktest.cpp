#include "exporttestutil.h"

#include "export/exportqueue.h"
#include "export/exportsourcecheck.h"
#include "project/projectsession.h"
#include "support/sourcekinds.h"

#include <QTemporaryDir>

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
