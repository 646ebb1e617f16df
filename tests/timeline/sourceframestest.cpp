#include "support/sourcekinds.h"

#include "timeline/sourceframes.h"
#include "timeline/videoreaderror.h"
#include "timeline/videosource.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;

// The picture found at a time is the one ffprobe's own frame list puts on screen
// there, on frame boundaries and between them, for every kind of source; and a
// clip's length ends at its last picture, counted from its start time.
TEST(SourceFrameReader, FindsThePictureOnScreenInEveryKindOfSource)
{
    QTemporaryDir dir;
    for (const testsupport::SourceKind &kind : testsupport::sourceKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = testsupport::makeSourceKind(dir.path(), kind);
        ASSERT_FALSE(file.isEmpty());
        const QList<double> starts = testsupport::frameStarts(file);
        ASSERT_GT(starts.size(), 30);
        const VideoSource source = VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid());
        const double pictureEnd = 2 * starts.last() - starts[starts.size() - 2];
        EXPECT_NEAR(source.duration, kind.soundFirst ? kind.seconds + 0.2 : pictureEnd, 0.002);

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
