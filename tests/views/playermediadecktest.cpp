#include "timeline/views/frameconverter.h"
#include "timeline/views/mediadeck.h"
#include "timeline/views/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/waitfor.h"

#include <QMediaDevices>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;
using testsupport::waitFor;

namespace {

struct Handed {
    QVideoFrame frame;
    quint64 done = 0;
    qint64 seekMs = -1;
};

} // namespace

// The media player on its own thread: what it tells arrives in the order of the
// commands given, each seek is answered by a picture handed over after it was
// carried out, and no picture of a clip arrives once another has been asked for.
TEST(PlayerMediaDeck, SeeksAreAnsweredInOrderAndAnotherClipLeavesNoPictureBehind)
{
    TimelinePlayer::selectMediaBackend();
    QTemporaryDir dir;
    const QString numbered = testsupport::makeNumberedClip(dir.path(), QStringLiteral("n.mp4"), 3, true);
    const QString small = testsupport::makeClip(dir.path(), QStringLiteral("s.mp4"), {2, 160, 120, 25, false, Qt::blue});
    ASSERT_FALSE(numbered.isEmpty() || small.isEmpty());

    QThread thread;
    thread.start();
    auto deck = std::make_unique<MediaDeck>(&thread, QMediaDevices::defaultAudioOutput());
    std::vector<Handed> handed;
    QObject::connect(deck.get(), &MediaDeck::videoFrameChanged, deck.get(),
                     [&](const QVideoFrame &frame, quint64 done, qint64 ms) {
                         EXPECT_EQ(QThread::currentThread(), qApp->thread());
                         handed.push_back({frame, done, ms});
                     });
    deck->setSource(QUrl::fromLocalFile(numbered));
    EXPECT_EQ(deck->mediaStatus(), QMediaPlayer::LoadingMedia); // told at once, as the media player does
    ASSERT_TRUE(waitFor([&] { return deck->isSeekable() && deck->hasVideo(); }, 10000));
    EXPECT_NEAR(deck->duration(), 3000, 40);

    for (const qint64 ms : {1501, 234, 2901, 1001}) {
        SCOPED_TRACE(ms);
        deck->setPosition(ms, true);
        const quint64 seek = deck->commandsGiven();
        deck->pause();
        EXPECT_EQ(deck->position(), ms); // before the deck's thread has carried it out
        const auto answer = [&]() -> const Handed * {
            for (const Handed &h : handed) {
                if (h.done >= seek && h.frame.isValid())
                    return &h;
            }
            return nullptr;
        };
        ASSERT_TRUE(waitFor([&] { return answer() != nullptr; }, 10000));
        const Handed &h = *answer();
        EXPECT_EQ(h.seekMs, ms);
        const int number = testsupport::frameNumberOf(FrameConverter::toImage(h.frame, {}));
        EXPECT_EQ(number, int(std::floor(ms * 30 / 1000.0)));
        handed.clear();
    }

    deck->play();
    ASSERT_TRUE(waitFor([&] { return handed.size() > 5; }, 10000));
    deck->setSource(QUrl::fromLocalFile(small));
    handed.clear();
    deck->play();
    ASSERT_TRUE(waitFor([&] { return handed.size() > 5; }, 10000));
    for (const Handed &h : handed)
        EXPECT_EQ(h.frame.size(), QSize(160, 120)) << "a picture of the clip before";

    deck->setSource(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.mp4"))));
    bool failed = false;
    QObject::connect(deck.get(), &MediaDeck::errorOccurred, deck.get(), [&] { failed = true; });
    EXPECT_TRUE(waitFor([&] { return failed; }, 10000));
    deck.reset();
    thread.quit();
    thread.wait();
}
