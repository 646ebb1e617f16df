#include "timeline/views/compositionpreviewview.h"
#include "timeline/views/playerview.h"

#include "support/testartifacts.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>

using namespace routereel;

namespace {

// A player that shows one white picture stretched over its canvas.
class StillPlayer : public PreviewPlayer {
public:
    StillPlayer(QSize picture, QSizeF canvas) : m_picture(picture, QImage::Format_ARGB32_Premultiplied), m_canvas(canvas)
    {
        m_picture.fill(Qt::white);
    }
    ItemId replaceItem(std::optional<PreviewPlan>) override { return 1; }
    ItemId currentItem() const override { return 1; }
    ItemStatus itemStatus() const override { return ItemStatus::readyToPlay; }
    QString itemError() const override { return {}; }
    void play() override {}
    void pause() override {}
    bool isPlaying() const override { return false; }
    double currentTime() const override { return 0; }
    void seek(double, std::function<void(bool)> completion) override { completion(true); }
    QImage currentFrame() const override { return m_picture; }
    QTransform currentFrameTransform() const override
    {
        return QTransform::fromScale(m_canvas.width() / m_picture.width(), m_canvas.height() / m_picture.height());
    }
    QSizeF renderSize() const override { return m_canvas; }

private:
    QImage m_picture;
    QSizeF m_canvas;
};

} // namespace

TEST(FittedPicture, FillsItsBoxToTheLastDevicePixelAtEveryPlace)
{
    const struct {
        QSize picture;
        QSizeF canvas;
        QRect place;  // of the preview in its window
    } cases[] = {
        {{1280, 720}, {1920, 1080}, {1, 1, 853, 480}},
        {{1280, 720}, {1920, 1080}, {3, 45, 854, 481}},
        {{1920, 1080}, {1920, 1080}, {7, 3, 1043, 587}},
        {{1280, 720}, {3840, 2160}, {0, 31, 961, 540}},
        {{960, 720}, {1440, 1080}, {5, 9, 641, 480}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2 at %3,%4 %5x%6")
                         .arg(c.canvas.width()).arg(c.canvas.height())
                         .arg(c.place.x()).arg(c.place.y()).arg(c.place.width()).arg(c.place.height())
                         .toStdString());
        StillPlayer player(c.picture, c.canvas);
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette blue = window.palette();
        blue.setColor(QPalette::Window, Qt::blue);
        window.setPalette(blue);
        window.resize(c.place.right() + 12, c.place.bottom() + 12);
        auto *preview = new CompositionPreviewView(CompositionMode::regular, &player, &window);
        preview->setGeometry(c.place);
        window.show();
        const QImage shot = window.grab().toImage();
        const double ratio = shot.devicePixelRatio();

        // No device pixel that the fitted box touches stays black: where its edge
        // falls mid-pixel, that pixel shows the picture (or lies outside the view).
        const QRectF box = preview->playerView()->canvasRect().translated(c.place.topLeft());
        const QRectF device(box.topLeft() * ratio, box.size() * ratio);
        const int x0 = int(std::floor(device.left() + 1e-6)), x1 = int(std::ceil(device.right() - 1e-6)) - 1;
        const int y0 = int(std::floor(device.top() + 1e-6)), y1 = int(std::ceil(device.bottom() - 1e-6)) - 1;
        const auto isBlack = [&](int x, int y) { return qBlue(shot.pixel(x, y)) < 128; };
        int black = 0;
        for (int y = y0; y <= y1; ++y)
            black += isBlack(x0, y) + isBlack(x1, y);
        for (int x = x0; x <= x1; ++x)
            black += isBlack(x, y0) + isBlack(x, y1);
        EXPECT_EQ(black, 0);
        // The picture stays inside: beyond the touched pixels the bars are black.
        if (x0 - 1 > c.place.left() * ratio + 1)
            EXPECT_TRUE(isBlack(x0 - 1, (y0 + y1) / 2));
        if (black)
            saveTestArtifact(shot, QStringLiteral("fitted-picture-black-edge-at-%1").arg(ratio * 100));
    }
}
