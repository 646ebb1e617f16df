#include "project/errorpresentation.h"
#include "projectfakes.h"

#include <gtest/gtest.h>

using namespace routereel;

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
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        EXPECT_EQ(errorAlertTitle(c.message), c.title);
    }
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
