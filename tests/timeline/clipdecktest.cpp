#include "support/clipdamage.h"
#include "support/clipgenerator.h"
#include "support/waitfor.h"
#include "timeline/clipdeck.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace routereel;
using testsupport::waitFor;

namespace {

// One deck and what it has said, on the test's thread.
struct Deck {
    ClipDeck deck;
    std::optional<bool> opened;
    std::optional<DeckPicture> shown; // the last final picture
    quint64 shownFor = 0;
    quint64 unreadableFor = 0;

    explicit Deck(const QString &path)
    {
        QObject::connect(&deck, &ClipDeck::opened, [this](const QString &, bool ok, const QString &) { opened = ok; });
        QObject::connect(&deck, &ClipDeck::shown, [this](quint64 request, const DeckPicture &picture, bool final) {
            if (final) {
                shown = picture;
                shownFor = request;
            }
        });
        QObject::connect(&deck, &ClipDeck::unreadable, [this](quint64 request) { unreadableFor = request; });
        deck.open(path);
    }
};

} // namespace

// Widths that leave 8 or 12 over a multiple of 16 (landscape, portrait, square, 4:5)
// made the converter write past the picture: the decks run under the sanitizer build
// with them, paused and playing.
TEST(ClipDeck, ShowsAndPlaysThePictureAtEachTimeOfClipsOfAwkwardWidths)
{
    QTemporaryDir dir;
    for (const auto &[width, height] : {std::pair{424, 240}, {360, 640}, {200, 112}, {200, 200}, {216, 270}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const QString clip = testsupport::makeNumberedClip(dir.path(), QStringLiteral("n%1.mp4").arg(width), 1.5,
                                                           false, width, height, 30);
        ASSERT_FALSE(clip.isEmpty());
        Deck d(clip);
        ASSERT_TRUE(waitFor([&] { return d.opened.has_value(); }, 20'000));
        ASSERT_TRUE(*d.opened);

        for (const double t : {0.0, 0.51, 1.2, 0.1}) {
            const quint64 request = d.deck.show(t);
            ASSERT_TRUE(waitFor([&] { return d.shownFor == request; }, 20'000)) << t;
            EXPECT_LE(d.shown->start, t + 1e-6);
            EXPECT_GT(d.shown->end, t);
            EXPECT_EQ(d.shown->image.size(), QSize(width, height));
            EXPECT_EQ(testsupport::frameNumberOf(d.shown->image), int(std::floor(t * 30 + 1e-6))) << t;
        }

        // Played from 0.5 s to the end: every picture in order, none missing.
        const quint64 request = d.deck.play(0.5);
        int expected = 15;
        double clock = 0.5;
        ASSERT_TRUE(waitFor([&] {
            while (const auto picture = d.deck.take(request, clock)) {
                EXPECT_EQ(testsupport::frameNumberOf(picture->image), expected);
                ++expected;
                clock = picture->end;
            }
            return d.deck.playedOut(request);
        }, 30'000));
        EXPECT_EQ(expected, 45);
        d.deck.halt();
    }
}

// A clip the probe accepts but whose pictures cannot be decoded ends each request,
// paused or playing, in `unreadable`: nothing waits for a picture that never comes.
TEST(ClipDeck, AClipWithoutADecodablePictureEndsEachRequestAsUnreadable)
{
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("c.mp4"), {.seconds = 1});
    const QString zeroed = dir.filePath(QStringLiteral("zeroed.mp4"));
    ASSERT_TRUE(testsupport::damageCopy(clip, zeroed, testsupport::Damage::zeroedMedia));
    Deck d(zeroed);
    ASSERT_TRUE(waitFor([&] { return d.opened.has_value(); }, 20'000));
    ASSERT_TRUE(*d.opened) << "the index is intact: the clip opens";
    const quint64 paused = d.deck.show(0.4);
    EXPECT_TRUE(waitFor([&] { return d.unreadableFor == paused; }, 20'000));
    const quint64 playing = d.deck.play(0);
    EXPECT_TRUE(waitFor([&] { return d.unreadableFor == playing; }, 20'000));
    EXPECT_FALSE(d.shown);
}
