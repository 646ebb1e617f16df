#include "ui/main/compositionmodepicker.h"
#include "ui/main/fileimport.h"
#include "ui/main/framedcheckbox.h"
#include "ui/main/mainlayout.h"
#include "ui/main/mainwindow.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "ui/panels/inspector/inspectorsectionheaderstyle.h"
#include "ui/panels/settingspanelview.h"
#include "ui/state/windowstate.h"

#include "support/clipgenerator.h"
#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGraphicsEffect>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

namespace {

struct Window {
    Window()
    {
        QSettings().clear();
        QFile::remove(*ProjectSession::lastSessionPath());
        window.resize(1400, 900);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    }
    ~Window()
    {
        state().setAppAppearance(QStringLiteral("light"));
        state().setAppLanguage(QStringLiteral("en"));
        QCoreApplication::processEvents();
    }
    WindowState &state() { return window.windowState(); }
    QWidget *place(const char *name) { return window.content().place(QString::fromLatin1(name)); }

    void switchTo(const QString &appearance, const QString &language)
    {
        state().setAppAppearance(appearance);
        state().setAppLanguage(language);
        const QString regular = language == QLatin1String("en") ? QStringLiteral("Regular") : QStringLiteral("常规");
        auto *picker = static_cast<CompositionModePicker *>(place("modePicker"));
        const bool dark = appearance == QLatin1String("dark");
        EXPECT_TRUE(waitFor([&] {
            return picker->box(CompositionMode::regular)->text() == regular
                && (QApplication::palette().color(QPalette::Window).lightness() < 128) == dark;
        }));
        QTest::qWait(300);  // sections done turning, the new look painted
    }
    // What the window paints; not a grab of the screen, which other tests' windows may cover.
    QImage shot(const QString &name)
    {
        const QImage image = window.grab().toImage();
        saveTestArtifact(image, name);
        return image;
    }
    QPoint at(QWidget *widget, QPoint local) { return widget->mapTo(&window, local); }

    MainWindow window{{.makePlayer = {}, .network = QNetworkInformation::Reachability::Online}};
};

int grey(const QColor &c) { return qGray(c.rgb()); }

} // namespace

TEST(MainLayout, DimmedInspectorIsTheFadedPanelOverItsColumnInEitherAppearance)
{
    Window w;
    QWidget *inspector = w.place("inspector");
    w.state().setCollapsedSections(
        QSet<QString>(SettingsPanelView::sectionKeys.begin(), SettingsPanelView::sectionKeys.end()));
    // Light, dark and back again: each switch must repaint the empty area, not keep the old one.
    const struct {
        const char *appearance;
        const char *language;
        int expected;
    } cases[] = {{"light", "en", 247}, {"dark", "en", 30}, {"light", "zh-Hans", 247}, {"dark", "zh-Hans", 30}};
    for (const auto &c : cases) {
        w.switchTo(c.appearance, c.language);
        const QPoint empty = w.at(inspector, QPoint(inspector->width() / 2, inspector->height() - 30));
        const QImage shot = w.shot(QStringLiteral("window-first-run-%1-%2").arg(c.appearance, c.language));
        EXPECT_NEAR(grey(shot.pixelColor(empty)), c.expected, 6) << c.appearance << " " << c.language;
    }

    w.switchTo(QStringLiteral("light"), QStringLiteral("en"));
    w.window.gpxService().addTrack(GPXTrack{});
    QCoreApplication::processEvents();
    const QPoint empty = w.at(inspector, QPoint(inspector->width() / 2, inspector->height() - 30));
    EXPECT_EQ(grey(w.shot(QStringLiteral("window-first-track-light-en")).pixelColor(empty)), 255);
}

TEST(MainLayout, WindowWithAClipAndAHeartRateTrackInEitherAppearanceAndLanguage)
{
    Window w;
    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {.seconds = 3, .color = {}});
    w.window.fileImport().setPanel([&](const QStringList &) {
        return QList<QUrl>{QUrl::fromLocalFile(clip), QUrl::fromLocalFile(ROUTEREEL_TEST_DATA "/tracks/ride.gpx")};
    });
    w.window.importFiles();
    ASSERT_TRUE(waitFor([&] { return w.window.engine().segments().size() == 1 && w.window.gpxService().tracks().size() == 1; }));
    QWidget *inspector = w.place("inspector");
    for (const char *appearance : {"light", "dark"}) {
        for (const char *language : {"en", "zh-Hans"}) {
            w.switchTo(appearance, language);
            QTest::qWait(400);  // the first frame and the map settle
            EXPECT_TRUE(inspector->isEnabled());
            EXPECT_FALSE(inspector->graphicsEffect()->isEnabled());
            w.shot(QStringLiteral("window-project-%1-%2").arg(appearance, language));
        }
    }
}

TEST(MainLayout, ModeBarWearsTheSectionHeaderLookAndItsBoxesReadInEitherAppearance)
{
    Window w;
    auto *bar = qobject_cast<InspectorSectionHeaderStyle *>(w.window.findChild<QWidget *>("modeRow"));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->height(), 28);
    EXPECT_EQ(bar->accessibleName(), "Mode");
    auto *picker = static_cast<CompositionModePicker *>(w.place("modePicker"));
    FramedCheckBox *overlay = picker->box(CompositionMode::overlay);
    EXPECT_EQ(overlay->accessibleName(), "Overlay");
    ASSERT_FALSE(overlay->isChecked());
    for (const char *appearance : {"light", "dark"}) {
        w.switchTo(appearance, QStringLiteral("en"));
        const QImage shot = w.shot(QStringLiteral("modebar-%1").arg(appearance));
        const QPalette p = QApplication::palette();
        // Between the caption and the boxes: the window colour at half over the column.
        const int back = (grey(p.color(QPalette::Window)) + grey(p.color(QPalette::Base))) / 2;
        EXPECT_NEAR(grey(shot.pixelColor(w.at(bar, QPoint(bar->width() / 2, 2)))), back, 3) << appearance;
        EXPECT_NEAR(grey(shot.pixelColor(w.at(bar, QPoint(bar->width() / 2, 27)))), grey(p.color(QPalette::Mid)), 3);
        // The unchecked box's frame stands out from the bar and from its own inside, whatever the appearance.
        const QRect box = overlay->boxRect();
        const int frame = grey(shot.pixelColor(w.at(overlay, QPoint(box.left(), box.center().y()))));
        const int inside = grey(shot.pixelColor(w.at(overlay, box.center())));
        EXPECT_GE(std::abs(frame - back), 24) << appearance;
        EXPECT_GE(std::abs(frame - inside), 24) << appearance;
    }
}
