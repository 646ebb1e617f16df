#include "ui/main/fileimport.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/linkbutton.h"
#include "ui/main/maintoolbar.h"
#include "ui/main/mainwindow.h"
#include "ui/main/toolbariconbuttonstyle.h"

#include "project/projectsession.h"
#include "timeline/playerscriptedplayer.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"

#include "support/testartifacts.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"
#include "freshstart.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::FreshStart;
using testsupport::waitFor;

namespace {

struct Window {
    FreshStart fresh;
    ScriptedPlayer *player = nullptr;
    MainWindow window{{.makePlayer = [this] { return player = new ScriptedPlayer; },
                       .network = QNetworkInformation::Reachability::Online}};
    MainToolbar &bar = *window.findChild<MainToolbar *>();
    QList<QUrl> opened;

    Window()
    {
        window.show();
        QApplication::setActiveWindow(&window);  // tests share one display
        EXPECT_TRUE(window.isActiveWindow());
        // The restore is read off the window's thread; what is asked meanwhile waits for it.
        EXPECT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore() && window.session().isSettled(); }));
    }
    QToolButton *button(const char *name) { return bar.button(QString::fromLatin1(name)); }
    // A toolbar of the same window with the given addresses, opening links into `opened`.
    std::unique_ptr<MainToolbar> barWith(const QString &name, const QString &url, const QString &email = {})
    {
        ProductLinks links;
        links.websiteName = name;
        links.websiteURL = url;
        links.feedbackEmail = email;
        links.open = [this](const QUrl &url) { return opened.append(url), true; };
        return std::make_unique<MainToolbar>(
            MainToolbar::Models{window.windowState(), window.playerService(), window.fileImport(), window.logStore()},
            nullptr, links);
    }
};

} // namespace

TEST(MainToolbar, LeadingItemNamesTheProjectOrLinksTheProductPage)
{
    Window w;
    auto bar = w.barWith("Example", "https://example.org/app?lang=en");
    bar->show();
    auto *website = bar->findChild<LinkButton *>("website");
    auto *project = bar->findChild<QWidget *>("currentProject");
    ASSERT_TRUE(website->isVisible());
    EXPECT_FALSE(project->isVisible());
    EXPECT_EQ(website->toolTip(), "Open Example");
    EXPECT_EQ(website->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(website, Qt::LeftButton);
    EXPECT_EQ(w.opened, QList<QUrl>{QUrl("https://example.org/app?lang=en&src=app_main")});
    // Neither the feedback button (no address) nor, in the window, the page link (no name) appear.
    EXPECT_FALSE(bar->button("feedback")->isVisible());
    EXPECT_FALSE(w.bar.findChild<LinkButton *>("website")->isVisible());

    w.window.windowState().setProjectURL(QUrl::fromLocalFile("/rides/alps/trip.final.rrl"));
    ASSERT_TRUE(waitFor([&] { return project->isVisible(); }));  // the toolbar lays out on its next turn
    EXPECT_FALSE(website->isVisible());
    QStringList texts;
    for (QLabel *label : project->findChildren<QLabel *>())
        texts << label->text();
    EXPECT_EQ(texts, (QStringList{"Current Project: ", "trip.final"}));
    EXPECT_EQ(project->toolTip(), "/rides/alps/trip.final.rrl");

    w.opened.clear();
    auto broken = w.barWith("Example", "::not a url", "a@b.c");
    broken->show();
    QTest::mouseClick(broken->findChild<LinkButton *>("website"), Qt::LeftButton);
    EXPECT_TRUE(w.opened.isEmpty());
    EXPECT_TRUE(broken->button("feedback")->isVisible());
    QTest::mouseClick(broken->button("feedback"), Qt::LeftButton);
    EXPECT_TRUE(w.window.windowState().showFeedbackSheet());
}

// A stored language with no catalogue speaks English, names Chinese as the other
// language's opposite ("中", "Switch to English"), and a press stores "en".
TEST(MainToolbar, LanguageButtonTakesAnyOtherStoredValueAsNotEnglish)
{
    for (const char *stored : {"fr", "zh-Hant", "EN"}) {
        SCOPED_TRACE(stored);
        FreshStart fresh;
        QSettings().setValue("appLanguage", stored);
        InterfaceLanguage::install(InterfaceLanguage::stored());  // as at start
        EXPECT_EQ(QSettings().value("AppleLanguages").toStringList(), QStringList{stored});
        MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
        window.show();
        QToolButton *language = window.findChild<MainToolbar *>()->button("language");
        QToolButton *importVideo = window.findChild<MainToolbar *>()->button("importVideo");
        EXPECT_EQ(window.windowState().appLanguage(), stored);
        EXPECT_EQ(language->text(), "中");
        EXPECT_EQ(language->toolTip(), "Switch to English");
        EXPECT_EQ(language->accessibleName(), "Switch to English");
        EXPECT_EQ(importVideo->toolTip(), "Import Video");
        if (QLatin1String(stored) == "fr")
            saveTestArtifact(window.grab().toImage(), "main-window-stored-fr");

        QTest::mouseClick(language, Qt::LeftButton);
        EXPECT_EQ(QSettings().value("appLanguage").toString(), "en");
        EXPECT_EQ(QSettings().value("AppleLanguages").toStringList(), QStringList{"en"});
        EXPECT_EQ(language->text(), "EN");
        EXPECT_EQ(language->toolTip(), "切换到中文");
        QCoreApplication::processEvents();
        EXPECT_EQ(importVideo->toolTip(), "Import Video");

        QTest::mouseClick(language, Qt::LeftButton);
        EXPECT_EQ(QSettings().value("appLanguage").toString(), "zh-Hans");
        ASSERT_TRUE(waitFor([&] { return importVideo->toolTip() == "导入视频"; }));
        QTest::mouseClick(language, Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return importVideo->toolTip() == "Import Video"; }));
    }
}

TEST(MainToolbar, LanguageAndAppearanceButtonsSwitchTheWholeWindow)
{
    Window w;
    WindowState &state = w.window.windowState();
    EXPECT_EQ(w.button("language")->text(), "EN");
    EXPECT_EQ(w.button("language")->toolTip(), "切换到中文");
    QTest::mouseClick(w.button("language"), Qt::LeftButton);
    EXPECT_EQ(state.appLanguage(), "zh-Hans");
    EXPECT_EQ(QSettings().value("AppleLanguages").toStringList(), QStringList{"zh-Hans"});
    ASSERT_TRUE(waitFor([&] { return w.button("importVideo")->toolTip() == "导入视频"; }));
    EXPECT_EQ(w.button("language")->text(), "中");
    EXPECT_EQ(w.button("language")->toolTip(), "Switch to English");
    EXPECT_EQ(w.button("log")->accessibleName(), "日志");
    QTest::mouseClick(w.button("language"), Qt::LeftButton);
    EXPECT_EQ(state.appLanguage(), "en");
    ASSERT_TRUE(waitFor([&] { return w.button("importVideo")->toolTip() == "Import Video"; }));

    // Only "dark" is dark; any other value reads as light and a press makes it dark.
    for (const char *stored : {"light", "Dark", "sepia"}) {
        state.setAppAppearance(stored);
        EXPECT_EQ(w.bar.symbolOf("appearance"), "moon.fill") << stored;
        EXPECT_EQ(w.button("appearance")->toolTip(), "Switch to Dark Mode");
        EXPECT_GT(QApplication::palette().color(QPalette::Window).lightness(), 128);
        QTest::mouseClick(w.button("appearance"), Qt::LeftButton);
        EXPECT_EQ(state.appAppearance(), "dark");
        EXPECT_EQ(QSettings().value("appAppearance").toString(), "dark");
        EXPECT_EQ(w.bar.symbolOf("appearance"), "sun.max.fill");
        EXPECT_EQ(w.button("appearance")->toolTip(), "Switch to Light Mode");
        EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);
    }
    QTest::mouseClick(w.button("appearance"), Qt::LeftButton);
    EXPECT_EQ(state.appAppearance(), "light");
}

TEST(MainToolbar, SpacePlaysAndPausesAsTheUserAskedExceptInTextFields)
{
    Window w;
    const auto space = [&](QWidget *target) { QTest::keyClick(target, Qt::Key_Space); };
    EXPECT_FALSE(w.button("playPause")->isEnabled());
    space(&w.window);
    EXPECT_FALSE(w.player->isPlaying());

    // A loaded clip whose first seek has not finished: the player holds back.
    VideoTimelineSnapshot clip;
    clip.sources = {testsupport::source(10)};
    clip.segments = {testsupport::cut(clip.sources[0], 0, 10, 0)};
    const int replaced = w.player->replaceCount;
    w.window.playerService().loadTimeline(clip);
    ASSERT_TRUE(waitFor([&] { return w.player->replaceCount > replaced; }));
    w.player->settle(PreviewPlayer::ItemStatus::readyToPlay);
    ASSERT_TRUE(w.button("playPause")->isEnabled());
    EXPECT_EQ(w.bar.symbolOf("playPause"), "play.fill");
    EXPECT_EQ(w.button("playPause")->accessibleName(), "Play");
    EXPECT_TRUE(w.button("playPause")->toolTip().isEmpty());
    space(&w.window);
    EXPECT_FALSE(w.player->isPlaying());
    EXPECT_EQ(w.bar.symbolOf("playPause"), "pause.fill");
    space(&w.window);  // the second press pauses though the player never started
    w.player->completeSeek();
    EXPECT_FALSE(w.player->isPlaying());
    EXPECT_EQ(w.bar.symbolOf("playPause"), "play.fill");

    space(&w.window);
    EXPECT_TRUE(w.player->isPlaying());
    EXPECT_EQ(w.bar.symbolOf("playPause"), "pause.fill");
    auto *field = new QLineEdit(&w.window);
    field->show();
    field->setFocus();
    space(field);
    EXPECT_EQ(field->text(), " ");
    EXPECT_TRUE(w.player->isPlaying());
}

TEST(MainToolbar, TrackImportParsesEachFileAndDropsStaleResults)
{
    Window w;
    QTemporaryDir dir;
    QList<QUrl> chosen;
    for (const char *name : {"a.gpx", "b.gpx", "c.gpx"}) {
        QFile::copy(ROUTEREEL_TEST_DATA "/tracks/ride.gpx", dir.filePath(name));
        chosen << QUrl::fromLocalFile(dir.filePath(name));
    }
    w.window.fileImport().setPanel([&](const QStringList &) { return chosen; });
    // The project changes while the files are parsed: nothing of them arrives.
    QTest::mouseClick(w.button("importTracks"), Qt::LeftButton);
    w.window.engine().clear();
    QThreadPool::globalInstance()->waitForDone();
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(w.window.gpxService().tracks().isEmpty());

    QTest::mouseClick(w.button("importTracks"), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return w.window.gpxService().tracks().size() == 3; }));
    EXPECT_EQ(w.window.engine().segments().size(), 3);
}

TEST(MainToolbar, LogButtonShowsUnreadEntriesUntilTheLogOpens)
{
    Window w;
    EXPECT_EQ(w.bar.symbolOf("log"), "doc.text");
    w.window.logStore().add(LogEntry::Level::error, "Disk full", "while writing");
    EXPECT_EQ(w.bar.symbolOf("log"), "exclamationmark.bubble.fill");
    QTest::mouseClick(w.button("log"), Qt::LeftButton);
    EXPECT_TRUE(w.window.windowState().showLogSheet());
    EXPECT_EQ(w.window.logStore().unreadCount(), 0);
    EXPECT_EQ(w.bar.symbolOf("log"), "doc.text");
    QTest::mouseClick(w.button("cache"), Qt::LeftButton);
    EXPECT_TRUE(w.window.windowState().showCacheSheet());
}

TEST(ToolbarIconButtonStyle, TileKeepsItsSizeFadesWhenDisabledAndDeepensWhenPressed)
{
    Window w;
    QToolButton *tile = w.button("cache");
    EXPECT_GE(tile->width(), 36);
    EXPECT_GE(tile->height(), 26);
    // The fill's strength over white at a spot of the tile with no symbol.
    const auto fillAt = [](QToolButton *b) {
        QImage image(b->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        b->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return 255 - image.pixelColor(image.width() / 2, 3).lightness();
    };
    const int resting = fillAt(tile);
    tile->setDown(true);
    const int pressed = fillAt(tile);
    tile->setDown(false);
    EXPECT_GT(resting, 0);
    EXPECT_NEAR(double(pressed) / resting, 0.2 / 0.06, 1.2);
    const QSize size = tile->size();
    tile->defaultAction()->setEnabled(false);
    EXPECT_EQ(tile->sizeHint(), QSize(36, 26));
    EXPECT_EQ(tile->size(), size);
    EXPECT_NEAR(fillAt(tile), resting * 0.45, 1.5);
    saveTestArtifact(w.bar.grab().toImage(), "toolbar-en-light");
}
