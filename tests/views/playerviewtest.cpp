#include "timeline/views/compositionpreviewview.h"
#include "timeline/views/playerview.h"
#include "timeline/timelineplayer.h"

#include "support/clipgenerator.h"
#include "support/testartifacts.h"
#include "mediatestutil.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace routereel;
using mediatest::near;
using mediatest::seekAndWait;
using testsupport::waitFor;

namespace {

// A 320 x 240 red clip placed whole on a 640 x 480 canvas.
PreviewPlan redPlan(const QString &file)
{
    PreviewPiece piece;
    piece.start = 0;
    piece.length = *compositionTicks(2);
    piece.url = QUrl::fromLocalFile(file);
    piece.naturalSize = QSizeF(320, 240);
    piece.fit = QTransform::fromScale(2, 2);
    PreviewPlan plan;
    plan.renderSize = QSizeF(640, 480);
    plan.pieces = {piece};
    return plan;
}

} // namespace

TEST(PlayerView, PaintsTheFrameFittedOnBlackAndOverlayModeInGreen)
{
    QTemporaryDir dir;
    testsupport::ClipSpec spec;
    spec.color = QColor(255, 0, 0);
    const QString red = testsupport::makeClip(dir.path(), QStringLiteral("red.mp4"), spec);
    ASSERT_FALSE(red.isEmpty());

    TimelinePlayer player;
    CompositionPreviewView view(CompositionMode::regular, &player);
    view.resize(800, 400);
    view.show();

    // Nothing decoded yet: black, not a hole.
    QImage shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(400, 200), 0, 0, 0, 2));

    const PreviewPlayer::ItemId item = player.replaceItem(redPlan(red));
    ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
    ASSERT_TRUE(seekAndWait(player, 1.0));
    ASSERT_FALSE(player.currentFrame().isNull());

    // 4:3 canvas in 800 x 400: 533 wide, black bars left and right.
    shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(400, 200), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(140, 10), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(120, 200), 0, 0, 0, 2));
    EXPECT_TRUE(near(shot.pixelColor(680, 200), 0, 0, 0, 2));

    // Resized: the picture follows at once, keeping its proportions.
    view.resize(400, 800);
    shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(200, 400), 255, 0, 0));
    EXPECT_TRUE(near(shot.pixelColor(200, 200), 0, 0, 0, 2));

    view.setMode(CompositionMode::overlay);
    shot = view.grab().toImage();
    for (const QPoint p : {QPoint(200, 400), QPoint(5, 5), QPoint(395, 795)})
        EXPECT_EQ(shot.pixelColor(p), QColor(0, 100, 0));

    // Back to the video of the same player, nothing reloaded.
    view.setMode(CompositionMode::regular);
    shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(200, 400), 255, 0, 0));
    EXPECT_EQ(player.currentItem(), item);

    // A detached view lets go of the player.
    view.setPlayer(nullptr);
    EXPECT_EQ(view.playerView()->player(), nullptr);
    shot = view.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(200, 400), 0, 0, 0, 2));
}

TEST(PlayerView, SwallowsWheelEvents)
{
    struct Parent : QWidget {
        int wheels = 0;
        void wheelEvent(QWheelEvent *e) override
        {
            ++wheels;
            e->accept();
        }
    } parent;
    auto *view = new PlayerView(&parent);
    parent.resize(200, 100);
    view->resize(200, 100);
    parent.show();
    QWheelEvent wheel(QPointF(50, 50), QPointF(50, 50), QPoint(0, 0), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_EQ(parent.wheels, 0);
}

TEST(PlayerView, ScreenshotMidPlayback)
{
    QTemporaryDir dir;
    testsupport::ClipSpec spec;
    spec.seconds = 3;
    spec.width = 640;
    spec.height = 360;
    spec.color = QColor(); // the moving test pattern
    const QString pattern = testsupport::makeClip(dir.path(), QStringLiteral("pattern.mp4"), spec);
    ASSERT_FALSE(pattern.isEmpty());

    PreviewPlan plan;
    plan.directUrl = QUrl::fromLocalFile(pattern);
    plan.renderSize = QSizeF(640, 360);
    TimelinePlayer player;
    CompositionPreviewView view(CompositionMode::regular, &player);
    view.resize(960, 600);
    view.show();
    player.replaceItem(plan);
    ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
    ASSERT_TRUE(seekAndWait(player, 0));
    player.play();
    ASSERT_TRUE(waitFor([&] { return player.currentTime() > 1.5; }));
    const QImage shot = view.grab().toImage();
    player.pause();
    ASSERT_TRUE(saveTestArtifact(shot, QStringLiteral("player-view-mid-playback")));

    // The pattern has many colours inside the canvas and black bars above and below.
    QSet<QRgb> colours;
    for (int x = 10; x < 950; x += 20)
        colours.insert(shot.pixel(x, 300) & 0xf0f0f0);
    EXPECT_GT(colours.size(), 5);
    EXPECT_TRUE(near(shot.pixelColor(480, 10), 0, 0, 0, 2));
    EXPECT_TRUE(near(shot.pixelColor(480, 590), 0, 0, 0, 2));
}

// A picture converted for a small view, paused, is converted again as soon as the
// view grows: a 1-pixel checkerboard looks as it does after a seek at the new size,
// not like the small picture stretched (grey). At every scale the suite runs.
TEST(PlayerView, APausedPictureIsConvertedAgainWhenTheViewGrows)
{
    TimelinePlayer player;
    PlayerView view;
    view.setPlayer(&player);
    view.resize(160, 90);
    view.show();
    // A clip as large as the grown view in device pixels, so that its every pixel shows.
    const QSize grown(640, 360);
    const QSize device = (QSizeF(grown) * view.devicePixelRatioF()).toSize();
    QTemporaryDir dir;
    const QString board = dir.filePath(QStringLiteral("board.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                    QStringLiteral("nullsrc=s=%1x%2:r=30:d=1,geq=lum=255*mod(X+Y\\,2):cb=128:cr=128")
                        .arg(device.width()).arg(device.height())}
        + mediatest::ffmpegArgs("-c:v libx264 -qp 0 -pix_fmt yuv420p", board)));
    PreviewPlan plan;
    plan.directUrl = QUrl::fromLocalFile(board);
    plan.renderSize = QSizeF(device);
    player.replaceItem(plan);
    ASSERT_TRUE(waitFor([&] { return player.itemStatus() == PreviewPlayer::ItemStatus::readyToPlay; }));
    ASSERT_TRUE(seekAndWait(player, 0.5));
    const int smallWidth = player.currentFrame().width();

    view.resize(grown);
    ASSERT_TRUE(waitFor([&] { return player.currentFrame().width() >= device.width() - 1; }, 10'000))
        << "the picture converted for " << smallWidth << " pixels stays at " << player.currentFrame().width();
    const QImage resized = view.grab().toImage();
    ASSERT_TRUE(seekAndWait(player, 0.5));
    const QImage sought = view.grab().toImage();
    ASSERT_EQ(resized.size(), sought.size());
    double sum = 0;
    for (int y = 0; y < resized.height(); ++y) {
        for (int x = 0; x < resized.width(); ++x) {
            const QRgb a = resized.pixel(x, y), b = sought.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
        }
    }
    EXPECT_LT(sum / (3.0 * resized.width() * resized.height()), 2.0) << "mean difference from the picture after a seek";
}
