#include "ui/main/interfacelanguage.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowalerts.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
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
    EXPECT_EQ(InterfaceLanguage::stored(), QStringLiteral("en"));

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
