#include "support/clipgenerator.h"
#include "support/colourreference.h"
#include "support/sourcekinds.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace testsupport;

namespace {

// Every new kind made once, side by side.
const std::map<QString, QString> &made()
{
    static QTemporaryDir dir;
    static const std::map<QString, QString> files = [] {
        QList<SourceKind> kinds = troubleKinds();
        for (const SourceKind &kind : colourKinds())
            if (std::none_of(kinds.begin(), kinds.end(),
                             [&](const SourceKind &k) { return qstrcmp(k.name, kind.name) == 0; }))
                kinds << kind;
        const QStringList paths = makeSourceKinds(dir.path(), kinds);
        std::map<QString, QString> byName;
        for (qsizetype i = 0; i < kinds.size(); ++i)
            byName[QString::fromLatin1(kinds[i].name)] = paths[i];
        return byName;
    }();
    return files;
}

double rateOf(const SourceKind &kind)
{
    const QString rate = QString::fromLatin1(kind.rate);
    return rate.section(QLatin1Char('/'), 0, 0).toDouble()
        / (rate.contains(QLatin1Char('/')) ? rate.section(QLatin1Char('/'), 1).toDouble() : 1.0);
}

} // namespace

// ffprobe's frame list, the numbers ffmpeg decodes and the kind's own numbering agree
// picture by picture, and the file is what the kind claims to be.
TEST(SourceKinds, EveryNewKindShowsItsNumbersInFfprobesOrderAndCarriesItsTags)
{
    for (const SourceKind &kind : troubleKinds() + colourKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = made().at(QString::fromLatin1(kind.name));
        ASSERT_FALSE(file.isEmpty());
        const QList<double> starts = frameStarts(file);
        const QList<int> numbers = decodedFrameNumbers(file);
        ASSERT_EQ(numbers.size(), starts.size());
        ASSERT_GT(starts.size(), 30);
        for (int i = 0; i < numbers.size(); ++i) {
            ASSERT_EQ(numbers[i], kind.number(i)) << "picture " << i << " at " << starts[i];
            ASSERT_EQ(kind.shownOf(numbers[i]), i);
        }
        EXPECT_NEAR(starts.last() - starts.first() + 1 / rateOf(kind), kind.seconds, 0.01);

        const QStringList tags = QString::fromLatin1(kind.tags).split(QLatin1Char(','), Qt::SkipEmptyParts);
        QStringList keys;
        for (const QString &tag : tags)
            keys << tag.section(QLatin1Char('='), 0, 0);
        const auto probed =
            probeStream(file, QStringLiteral("v:0"), QStringLiteral("stream=") + keys.join(QLatin1Char(',')));
        for (const QString &tag : tags)
            EXPECT_EQ(tag.section(QLatin1Char('='), 1).toStdString(),
                      probed.value(tag.section(QLatin1Char('='), 0, 0)).toStdString());
        EXPECT_EQ(probeStream(file, QStringLiteral("a:0"), QStringLiteral("stream=codec_name"))
                      .value(QStringLiteral("codec_name"))
                      .toStdString(),
                  kind.sound);
        QFile bytes(file);
        ASSERT_TRUE(bytes.open(QIODevice::ReadOnly));
        EXPECT_EQ(bytes.readAll().contains("moof"), QLatin1String(kind.name).startsWith(QLatin1String("frag")));
    }
}

// Held pictures and the jump of a two-entry edit list, where ffprobe's times put them.
TEST(SourceKinds, HeldPicturesAndEditsShowTheNumberOnScreenAtEachTime)
{
    const struct {
        const char *kind;
        double at;
        int number;
    } cases[] = {
        {"screen.mp4", 0.99, 29}, {"screen.mp4", 1.0, 30},  {"screen.mp4", 2.49, 30}, {"screen.mp4", 2.5, 31},
        {"screen.mp4", 3.2, 46},  {"screen.mp4", 5.99, 62}, {"screen.mp4", 6.0, 63},  {"elst2.mp4", 1.99, 59},
        {"elst2.mp4", 2.0, 90},   {"elst2.mp4", 3.99, 149},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " at " + std::to_string(c.at));
        const SourceKind &kind = *std::find_if(troubleKinds().begin(), troubleKinds().end(),
                                               [&](const SourceKind &k) { return qstrcmp(k.name, c.kind) == 0; });
        const QString file = made().at(QString::fromLatin1(c.kind));
        const int shown = frameOnScreen(frameStarts(file), c.at);
        // What ffmpeg decodes there is the kind's number: see the test above.
        EXPECT_EQ(kind.number(shown), c.number);
    }
}

// ffmpeg's own conversion of each colour kind gives back the patches it was drawn with
// (HLG and PQ through the SDR mapping: within 20), on the picture on screen.
TEST(SourceKinds, FfmpegsPictureOfEachColourKindShowsThePatchColours)
{
    for (const SourceKind &kind : colourKinds()) {
        SCOPED_TRACE(kind.name);
        const QString file = made().at(QString::fromLatin1(kind.name));
        const bool hdr = QLatin1String(kind.tags).contains(QLatin1String("color_transfer=arib-std-b67"))
            || QLatin1String(kind.tags).contains(QLatin1String("color_transfer=smpte2084"));
        for (double at : {0.0, 1.27}) {
            const QImage picture = ffmpegPicture(file, at, QSize(320, 180));
            ASSERT_FALSE(picture.isNull());
            EXPECT_EQ(frameNumberOf(picture), kind.number(frameOnScreen(frameStarts(file), at)));
            const PatchDifference d = largestPatchDifference(picture);
            EXPECT_LE(d.difference, hdr ? 20 : 6) << d.patch.toStdString();
        }
    }
}
