#include "ui/main/feedbacksheet.h"
#include "ui/main/interfacelanguage.h"
#include "ui/main/linkbutton.h"
#include "ui/main/tokensheet.h"
#include "ui/main/windowappearance.h"
#include "ui/state/windowstate.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;

TEST(TokenSheet, SaveStoresTheTokenAsTypedAndCancelKeepsOnlyTheDraft)
{
    QSettings().clear();
    QSettings().setValue("mapProvider", "Mapbox");
    WindowState state;
    QList<QUrl> opened;
    ProductLinks links;
    links.mapboxTokenHelpURL = "https://docs.example.com/tokens";
    links.open = [&](const QUrl &url) { return opened.append(url), true; };
    auto draft = std::make_shared<std::optional<QString>>();
    {
        TokenSheet sheet(state, draft, links);
        EXPECT_EQ(sheet.field()->placeholderText(), "pk.q8Wm2Zr...");
        EXPECT_FALSE(sheet.saveButton()->isEnabled());
        QTest::keyClicks(sheet.field(), "pk.typed");
        EXPECT_TRUE(sheet.saveButton()->isEnabled());
        QTest::mouseClick(sheet.helpLink(), Qt::LeftButton);
        EXPECT_EQ(opened, QList<QUrl>{QUrl("https://docs.example.com/tokens")});
        EXPECT_EQ(sheet.helpLink()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(sheet.cancelButton(), Qt::LeftButton);
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
    }
    // The map and exports still see no token; the next showing offers the typed one.
    EXPECT_TRUE(state.mapboxToken().isEmpty());
    EXPECT_FALSE(state.mapReady());
    EXPECT_FALSE(QSettings().contains("mapboxToken"));
    TokenSheet again(state, draft, links);
    EXPECT_EQ(again.field()->text(), "pk.typed");
    again.field()->clear();
    EXPECT_FALSE(again.saveButton()->isEnabled());
    QTest::keyClick(again.field(), Qt::Key_Return);  // nothing to save
    EXPECT_FALSE(QSettings().contains("mapboxToken"));
    QTest::keyClicks(again.field(), "   ");
    ASSERT_TRUE(again.saveButton()->isEnabled());
    QTest::mouseClick(again.saveButton(), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(QSettings().value("mapboxToken").toString(), "   ");
    EXPECT_EQ(state.mapboxToken(), "   ");
    EXPECT_TRUE(state.mapReady());
    saveTestArtifact(again.grab().toImage(), "token-sheet-en");
    // Save is the prominent one: the accent behind its text, in either appearance.
    for (bool dark : {true, false}) {
        QApplication::setPalette(windowPalette(dark));
        QCoreApplication::processEvents();
        const QColor accent = QApplication::palette().color(QPalette::Highlight);
        EXPECT_EQ(again.saveButton()->palette().color(QPalette::Button), accent) << dark;
        EXPECT_EQ(again.saveButton()->palette().color(QPalette::ButtonText),
                  QApplication::palette().color(QPalette::HighlightedText));
        EXPECT_NE(again.cancelButton()->palette().color(QPalette::Button), accent);
        if (dark)
            saveTestArtifact(again.grab().toImage(), "token-sheet-dark-en");
    }
    InterfaceLanguage::install("zh-Hans");
    EXPECT_TRUE(waitFor([&] { return again.saveButton()->text() == "保存"; }));
    saveTestArtifact(again.grab().toImage(), "token-sheet-zh");
    InterfaceLanguage::install("en");
}

TEST(FeedbackSheet, RowsFollowTheAddressesOpenThroughTheDesktopAndEscapeCloses)
{
    QList<QUrl> opened;
    const auto record = [&](const QUrl &url) { return opened.append(url), true; };
    struct Case {
        QStringList addresses;  // e-mail, handle, profile, chat
        QList<bool> rows;
        QList<QUrl> clicks;
    };
    const Case cases[] = {
        {{"hello@example.org", "@maker", "https://social.example/maker", "https://chat.example/+join"},
         {true, true, true},
         {QUrl("mailto:hello@example.org"), QUrl("https://social.example/maker"), QUrl("https://chat.example/+join")}},
        // An address that is no URL shows its row, and pressing it does nothing.
        {{"not an address", "", "", "https://chat.example/+join"}, {true, false, true}, {QUrl("https://chat.example/+join")}},
    };
    for (const Case &c : cases) {
        opened.clear();
        ProductLinks links;
        links.feedbackEmail = c.addresses[0];
        links.socialHandle = c.addresses[1];
        links.socialProfileURL = c.addresses[2];
        links.chatInvitationURL = c.addresses[3];
        links.open = record;
        FeedbackSheet sheet(links);
        sheet.show();
        // Tests share one display: activate in Qt, not through the display's focus.
        QApplication::setActiveWindow(&sheet);
        EXPECT_TRUE(waitFor([&] { return sheet.isActiveWindow() && !sheet.focusWidget(); }));
        const QList<LinkButton *> rows{sheet.emailRow(), sheet.socialRow(), sheet.chatRow()};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i]->isVisible(), c.rows[i]) << i;
            EXPECT_EQ(rows[i]->cursor().shape(), Qt::PointingHandCursor);
            if (rows[i]->isVisible())
                QTest::mouseClick(rows[i], Qt::LeftButton);
        }
        EXPECT_EQ(opened, c.clicks);
        EXPECT_EQ(sheet.chatRow()->text(), "Telegram group");
        if (c.rows == QList<bool>{true, true, true}) {
            saveTestArtifact(sheet.grab().toImage(), "feedback-sheet-en");
            InterfaceLanguage::install("zh-Hans");
            EXPECT_TRUE(waitFor([&] { return sheet.chatRow()->text() == "Telegram 群组"; }));
            EXPECT_EQ(sheet.emailRow()->text(), "hello@example.org");  // addresses stand as they are
            saveTestArtifact(sheet.grab().toImage(), "feedback-sheet-zh");
            InterfaceLanguage::install("en");
        }
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_FALSE(sheet.isVisible());
    }
}
