#include "ui/main/fileimport.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"
#include "ui/panels/logsheet.h"
#include "ui/panels/previewareaview.h"
#include "ui/timeline/gpxlaneview.h"
#include "ui/timeline/timelinetoolbar.h"
#include "ui/timeline/timelineview.h"

#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "widgets/speedwidgetsettings.h"
#include "tracks/logstore.h"

#include "support/clipgenerator.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

namespace {

// Every interface text of the window and of its open dialogs that still holds
// a Latin word; names shown verbatim by design are allowed.
QStringList englishTexts(QWidget &window)
{
    static const QStringList verbatim{"routereel", "MODE",    "MAP",     "PATH", "SPEED", "TIME",
                                      "HEART RATE", "HEART RATE GRAPH", "OSM", "Mapbox", "Default", "GTA",
                                      "North",     "Follow",  "km/h",    "mph",  "m/s", "Switch to English"};
    static const QRegularExpression word("[A-Za-z]{2,}");
    // Format and key names stay as they are inside translated texts.
    static const QRegularExpression names("\\b(GPX|Ctrl|Shift)\\b");
    QStringList found;
    auto check = [&](const QString &text, const QObject *where) {
        if (!text.isEmpty() && !verbatim.contains(text) && word.match(QString(text).remove(names)).hasMatch())
            found << where->objectName() + ": " + text;
    };
    QList<QWidget *> widgets{&window};
    widgets += window.findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->isVisible())
            continue;
        check(w->windowTitle(), w);
        check(w->accessibleName(), w);
        check(w->toolTip(), w);
        if (auto *button = qobject_cast<QAbstractButton *>(w))
            check(button->text(), w);
        if (auto *label = qobject_cast<QLabel *>(w))
            check(label->text(), w);
    }
    return found;
}

} // namespace

TEST(InterfaceLanguage, SwitchRetranslatesTheWindowAndItsOpenAlertsWithoutARestart)
{
    QSettings().clear();
    EXPECT_EQ(InterfaceLanguage::stored(), QStringLiteral("en"));
    QSettings().setValue("appLanguage", "fr");
    EXPECT_EQ(InterfaceLanguage::stored(), QStringLiteral("fr"));  // no catalogue: the English texts
    QSettings().clear();

    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();
    window.presentError(QStringLiteral("42"));
    window.windowState().setShowNetworkAlert(true);
    EXPECT_FALSE(englishTexts(window).isEmpty());  // the walk sees the English texts

    window.setLanguage();
    EXPECT_EQ(QSettings().value("appLanguage").toString(), QStringLiteral("zh-Hans"));
    EXPECT_EQ(QSettings().value("AppleLanguages").toStringList(), QStringList{"zh-Hans"});
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
    // Qt's own catalogue too, for standard buttons and file dialogs.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    waitFor([&] { return englishTexts(window).isEmpty(); });
    EXPECT_EQ(englishTexts(window).join(" | ").toStdString(), "");
    EXPECT_EQ(window.alerts().networkBox()->text(), QStringLiteral("网络不可用。离线时无法载入地图瓦片。"));
    saveTestArtifact(window.grab().toImage(), "main-window-zh");
    saveTestArtifact(window.alerts().networkBox()->grab().toImage(), "network-alert-zh");

    window.setLanguage();
    EXPECT_EQ(QLocale().language(), QLocale::English);
    // The language button names the other language at once; the catalogue's texts follow on the next turn.
    ASSERT_TRUE(waitFor([&] {
        return window.alerts().networkBox()->text() == "Network unavailable. Map tiles cannot be loaded offline.";
    }));
    EXPECT_EQ(window.alerts().errorBox()->windowTitle(), QStringLiteral("Error"));
    saveTestArtifact(window.grab().toImage(), "main-window-en");
}

// Log titles are data and undo step names are used as they stand: neither
// follows the interface language.
TEST(InterfaceLanguage, LogTitlesAndStepNamesStayAsTheyStandInChinese)
{
    QSettings().clear();
    QFile::remove(*ProjectSession::lastSessionPath());
    QTemporaryDir dir;
    const QString track = dir.filePath(QStringLiteral("ride.gpx"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx"), track));
    const QString clip = testsupport::makeClip(dir.path(), "clip.mp4", {.seconds = 1, .audio = false});
    const QList<QUrl> files{QUrl::fromLocalFile(clip), QUrl::fromLocalFile(track)};
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();
    QApplication::setActiveWindow(&window);
    window.setLanguage();
    ASSERT_EQ(QSettings().value("appLanguage").toString(), QStringLiteral("zh-Hans"));
    QUndoStack &undo = *window.engine().undoStack();

    window.fileImport().setPanel([&](const QStringList &) { return files; });
    window.importFiles();
    ASSERT_TRUE(waitFor([&] { return window.logStore().entries().size() == 2; }));
    EXPECT_EQ(undo.undoText(), QStringLiteral("Import"));
    const QUrl project = QUrl::fromLocalFile(dir.filePath(QStringLiteral("trip.rrl")));
    ASSERT_TRUE(window.session().saveProject(project));
    window.openProjectURL(project);
    // The project is read off the window's thread, then its video restored.
    ASSERT_TRUE(waitFor([&] { return window.windowState().projectURL() == project; }));
    ASSERT_TRUE(waitFor([&] { return window.engine().videoSegments().size() == 1; }));

    // A segment dragged away and back to where it was: still one "Move".
    auto *lane = window.findChild<GPXLaneView *>();
    ASSERT_EQ(window.engine().segments().size(), 1);
    const GPXSegment segment = window.engine().segments().first();
    const QPoint grip = lane->segmentGeometry(segment).rect.center().toPoint();
    const int steps = undo.count();
    QTest::mousePress(lane, Qt::LeftButton, {}, grip);
    QTest::mouseMove(lane, grip + QPoint(40, 0));
    QTest::mouseMove(lane, grip);
    QTest::mouseRelease(lane, Qt::LeftButton, {}, grip);
    EXPECT_EQ(undo.count(), steps + 1);
    EXPECT_EQ(undo.undoText(), QStringLiteral("Move"));
    EXPECT_EQ(window.engine().segments().first().offset, segment.offset);

    // The speed widget hidden with the Delete key, then the timeline cleared from its toolbar.
    window.speedSettings().setEnabled(true);
    auto *preview = window.findChild<PreviewAreaView *>();
    ASSERT_TRUE(waitFor([&] {
        QWidget *view = preview->widgetView(WidgetKind::speed);
        return view && view->isVisible();
    }));
    QWidget *speed = preview->widgetView(WidgetKind::speed);
    QTest::mouseClick(speed, Qt::LeftButton, {}, speed->rect().center());
    ASSERT_EQ(preview->selectedWidget(), WidgetKind::speed);
    QApplication::setActiveWindow(&window);  // tests share one display
    ASSERT_TRUE(window.isActiveWindow());
    QTest::keyClick(&window, Qt::Key_Delete);
    EXPECT_EQ(undo.undoText(), QStringLiteral("Delete"));
    window.findChild<TimelineToolbar *>()->clearAction()->trigger();
    QMessageBox *confirm = window.findChild<TimelineView *>()->clearConfirmation();
    ASSERT_TRUE(confirm && confirm->isVisible());
    for (QAbstractButton *button : confirm->buttons())
        if (confirm->buttonRole(button) == QMessageBox::DestructiveRole)
            button->click();
    EXPECT_TRUE(window.engine().segments().isEmpty());
    EXPECT_EQ(undo.undoText(), QStringLiteral("Clear"));

    QStringList titles;
    for (const LogEntry &entry : window.logStore().entries())
        titles.prepend(entry.title);
    std::sort(titles.begin(), titles.begin() + 2);  // the two imports finish in either order
    const QStringList expected{"Import GPX", "Import Video", "Save Project", "Open Project"};
    EXPECT_EQ(titles, expected);
    window.windowState().setShowLogSheet(true);
    auto *sheet = window.findChild<LogSheet *>();
    ASSERT_TRUE(sheet && sheet->isVisible());
    QStringList shown;
    for (const QLabel *title : sheet->findChildren<QLabel *>(QStringLiteral("title")))
        shown << title->text();
    shown.sort();
    QStringList sorted = expected;
    sorted.sort();
    EXPECT_EQ(shown, sorted);
    saveTestArtifact(sheet->grab().toImage(), "log-sheet-zh");
    window.windowState().setShowLogSheet(false);
    window.setLanguage();
}
