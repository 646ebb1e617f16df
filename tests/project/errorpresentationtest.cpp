#include "project/errorpresentation.h"
#include "projectfakes.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using namespace projecttest;

TEST(ErrorPresentation, TitleIsTheFirstNonBlankLineCutAt120Characters)
{
    const QString line120 = QString(120, QLatin1Char('a'));
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");  // one character, 8 code units
    struct Case {
        QString message;
        QString title;
    };
    const Case cases[] = {
        {QStringLiteral("Cannot read file"), QStringLiteral("Cannot read file")},
        {QStringLiteral("\n  \t\n  First real line  \nsecond"), QStringLiteral("  First real line  ")},
        {QStringLiteral("\r\nWindows line\r\nnext"), QStringLiteral("Windows line")},
        {QStringLiteral("\u2028\u00A0\nAfter separators"), QStringLiteral("After separators")},
        {line120, line120},
        {line120 + QLatin1Char('b'), line120 + QStringLiteral("...")},
        {QString(119, QLatin1Char('x')) + family, QString(119, QLatin1Char('x')) + family},
        {QString(119, QLatin1Char('x')) + family + family, QString(119, QLatin1Char('x')) + family + "..."},
        {QString(), QString()},
        {QStringLiteral(" \n\t"), QStringLiteral(" \n\t")},
        // A long path gives up its middle, not the reason after it.
        {"Cannot save \"/" + QString(150, 'd') + "/ride.rrl\": Input/output error\nmore",
         "Cannot save \"/" + QString(75, 'd') + "\u2026/ride.rrl\": Input/output error"},
        {"/" + QString(60, 'a') + " /" + QString(90, 'b') + ": gone",
         "/" + QString(60, 'a') + " /" + QString(16, 'b') + "\u2026" + QString(34, 'b') + ": gone"},
        {"A reason far too long for the title " + QString(100, 'r') + " \"/a/b.rrl\"",
         "A reason far too long for the title " + QString(84, 'r') + "..."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(errorAlertTitle(c.message), c.title);
    }
}

TEST(ErrorPresentation, TheSaveAlertKeepsItsReasonBehindALongPath)
{
    QTemporaryDir dir;
    QString folder = dir.path();
    for (int i = 0; i < 4; ++i)
        folder += QStringLiteral("/a folder with a long name for the rides of year %1").arg(2020 + i);
    const QString target = folder + QStringLiteral("/Ride.rrl");
    Harness h;
    h.panels.saveAnswer = QUrl::fromLocalFile(target);
    h.session.handleSaveProjectAs();
    ASSERT_TRUE(settle(h.session));
    ASSERT_EQ(h.alerts.shown.size(), 1);
    const QString title = h.alerts.shown.first();
    const QString reason = h.window->entries(LogEntry::Level::error).value(0).detail.section(QStringLiteral("\": "), -1);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_LE(title.size(), 120);
    EXPECT_TRUE(title.startsWith("The project cannot be saved to \"" + dir.path().left(10))) << title.toStdString();
    EXPECT_TRUE(title.endsWith("/Ride.rrl\": " + reason)) << title.toStdString();
}

TEST(ErrorPresentation, LogKeepsEveryMessageWholeAndAlertShowsTheTitle)
{
    projecttest::FakeAlerts alerts;
    QList<QPair<QString, QString>> log;
    const auto logError = [&](const QString &title, const QString &detail) { log.append({title, detail}); };
    presentError(QStringLiteral("\nFirst problem\nwith details"), logError, alerts);
    presentError(QStringLiteral("Second problem"), logError, alerts);
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].first, QStringLiteral("First problem"));
    EXPECT_EQ(log[0].second, QStringLiteral("\nFirst problem\nwith details"));
    EXPECT_EQ(alerts.shown, QStringList({QStringLiteral("First problem"), QStringLiteral("Second problem")}));
}
