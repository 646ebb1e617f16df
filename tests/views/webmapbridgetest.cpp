#include "webmapfixture.h"

#include "maps/views/webmapbridge.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QWebEnginePage>
#include <gtest/gtest.h>

using namespace routereel;

// Values and bodies reach the page as they are, whatever they hold, and each
// call gets its own answer.
TEST(WebMapBridge, CallsCarryTheirTextsUnchanged)
{
    QWebEnginePage page;
    WebMapBridge bridge(&page);
    bool loaded = false;
    QObject::connect(&page, &QWebEnginePage::loadFinished, [&](bool ok) { loaded = ok; });
    page.setHtml(QStringLiteral("<html><body></body></html>"));
    ASSERT_TRUE(webmaptest::waitFor([&] { return loaded; }, 30'000));

    struct Case {
        QString body;
        QList<QPair<QString, QJsonValue>> args;
        QString expected;
    };
    const QString odd = QStringLiteral("%1 %2 %3 %4 \"</script> \\ \u2028");
    const QList<Case> cases{
        {QStringLiteral("return a + '|' + b;"), {{"a", odd}, {"b", QStringLiteral("%1")}}, odd + "|%1"},
        {QStringLiteral("return '%1' + n; // the end"), {{"n", 7}}, QStringLiteral("%17")},
        {QStringLiteral("return [x.k, y].join();"), {{"x", QJsonObject{{"k", "%2"}}}, {"y", QJsonArray{1, "%3"}}},
         QStringLiteral("%2,1,%3")},
    };
    QList<std::optional<QVariant>> answers(cases.size());
    int answered = 0;
    for (qsizetype i = 0; i < cases.size(); ++i) {
        bridge.call(cases[i].body, cases[i].args, [&, i](std::optional<QVariant> v) {
            answers[i] = std::move(v);
            ++answered;
        });
    }
    ASSERT_TRUE(webmaptest::waitFor([&] { return answered == cases.size(); }, 30'000));
    for (qsizetype i = 0; i < cases.size(); ++i) {
        ASSERT_TRUE(answers[i].has_value()) << i;
        EXPECT_EQ(answers[i]->toString(), cases[i].expected) << i;
    }
}
