// The update checker against a loopback server, with a fixed clock.
#include "apptest.h"

#include "updatechecker.h"
#include "updateinfo.h"

#include "support/loopbackhttpserver.h"
#include "support/urlcatcher.h"
#include "support/waitfor.h"

#include <QDesktopServices>
#include <QSettings>
#include <gtest/gtest.h>

using namespace routereel;
using apptest::Alert;
using apptest::AlertAnswerer;
using testsupport::HttpResponse;
using testsupport::waitFor;

namespace {

constexpr double now = 1'700'000'000;
const QString lastChecked = QStringLiteral("updateChecker.lastCheckedAt");
const QString skippedVersion = QStringLiteral("updateChecker.skippedVersion");

HttpResponse answer(const QByteArray &body, int status = 200)
{
    return {.status = status, .contentType = "application/json", .body = body};
}

HttpResponse latest(const QString &version, std::optional<QString> notes = std::nullopt,
                    const QString &download = QStringLiteral("https://example.org/get"))
{
    return answer(UpdateInfo{version, std::nullopt, download, notes}.encode());
}

// A fresh checker of version 1.0.0 and a server that gives every request `response`.
struct Checker {
    explicit Checker(HttpResponse response, int timeoutMs = 10'000)
        : server([response](const testsupport::HttpRequest &) { return response; }),
          checker({server.baseUrl(), timeoutMs, [] { return now; }})
    {
        QSettings().clear();
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    }
    // One check to its end; its alerts answered with `button`.
    QList<Alert> run(bool silent, const QString &button = QStringLiteral("OK"))
    {
        AlertAnswerer answerer(button);
        checker.check(silent);
        EXPECT_TRUE(waitFor([&] { return !checker.isChecking(); }, 20'000));
        return answerer.alerts;
    }
    double stamp() const { return QSettings().value(lastChecked).toDouble(); }

    testsupport::LoopbackHttpServer server;
    UpdateChecker checker;
};

} // namespace

TEST(UpdateChecker, ComparesVersions)
{
    const struct {
        const char *a, *b;
        int result;
    } cases[] = {
        {"1.2", "1.2.0", 0},          {"1.2.9", "1.10", -1},      {"2.0.0-beta", "2.0.0", -1},
        {"2.0.0", "2.0.0-beta", 1},   {"2.0.0+5", "2.0.0", 0},    {"1.x.3", "1.0.3", 1},
        {"1.0-rc-1", "1.0-rc-2", 0},  {"V1.2", "1.2", 1},         {"", "0.0.1", -1},
        {"1. 2", "1.2", -1},          {"1.+2", "1.2", -1},         {"99999999999999999999.1", "0.1", 1},
        {"-+", "", -1},               {"0.0.0", "", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UpdateChecker::compareVersions(c.a, c.b), c.result) << c.a << " vs " << c.b;
}

TEST(UpdateChecker, AnswersAlertsAndStamps)
{
    const QString newer = QStringLiteral("routereel 1.2.0 is available (you have 1.0.0).\n\n");
    const QByteArray numberMinimum = R"({"latest":"1.2.0","minimum":2,"downloadUrl":"https://example.org"})";
    const struct {
        const char *what;
        HttpResponse response;
        bool silent;
        QString skipped;
        QString alert;  // object name; empty: none
        QString informative;
        double stamp;
    } cases[] = {
        {"notes as text", latest("1.2.0", "Faster <b>export</b>"), false, "", "updateAvailableAlert",
         newer + "Faster <b>export</b>", now},
        {"no notes", latest("1.2.0"), true, "", "updateAvailableAlert", newer, now},
        {"skipped, silent", latest("1.2.0"), true, "1.2.0", "", "", now},
        {"skipped, menu", latest("1.2.0"), false, "1.2.0", "updateAvailableAlert", newer, now},
        {"newer than skipped", latest("1.2.0"), true, "1.1.0", "updateAvailableAlert", newer, now},
        {"same", latest("1.0.0"), false, "", "upToDateAlert", "routereel 1.0.0 is the latest version.", now},
        {"older, silent", latest("0.9"), true, "", "", "", now},
        // The status is not examined: whatever decodes is the answer, whatever does not is a failure.
        {"503, decodable", answer(latest("1.0").body, 503), false, "", "upToDateAlert",
         "routereel 1.0.0 is the latest version.", now},
        {"400, decodable", answer(latest("1.0").body, 400), false, "", "upToDateAlert", "", now},
        {"418, decodable", answer(latest("1.2.0").body, 418), true, "", "updateAvailableAlert", newer, now},
        {"407, decodable", answer(latest("1.0").body, 407), false, "", "upToDateAlert", "", now},
        {"404, not JSON", answer("<html>gone</html>", 404), false, "", "checkFailedAlert", "", now - 82'800},
        {"minimum a number", answer(numberMinimum), false, "", "checkFailedAlert", "", now - 82'800},
        {"not JSON, silent", answer("<html>busy</html>", 200), true, "", "", "", now - 82'800},
        {"too large", latest("1.2.0", QString(70'000, QLatin1Char('x'))), false, "", "checkFailedAlert",
         "The update server's answer is too large.", now - 82'800},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Checker setup(c.response);
        if (!c.skipped.isEmpty())
            QSettings().setValue(skippedVersion, c.skipped);
        const QList<Alert> alerts = setup.run(c.silent, QStringLiteral("Later"));
        EXPECT_EQ(setup.server.requestedTargets(), QList<QByteArray>{"/api/version"});
        EXPECT_EQ(setup.stamp(), c.stamp);
        ASSERT_EQ(alerts.size(), c.alert.isEmpty() ? 0 : 1);
        if (alerts.isEmpty())
            continue;
        EXPECT_EQ(alerts.first().name, c.alert);
        EXPECT_TRUE(alerts.first().plainInformative);
        if (!c.informative.isEmpty())
            EXPECT_EQ(alerts.first().informative, c.informative);
        if (c.alert == "checkFailedAlert")
            EXPECT_EQ(alerts.first().text, QStringLiteral("Could not check for updates"));
    }
}

TEST(UpdateChecker, DownloadOpensOnlySecureAddressesAndSkipRemembers)
{
    const struct {
        const char *download, *button;
        bool opened;
        QString skipped;
    } cases[] = {
        {"https://example.org/get", "Download", true, ""},
        {"http://example.org/get", "Download", false, ""},
        {"javascript:alert(1)", "Download", false, ""},
        {"https://example.org/get", "Skip This Version", false, "1.2.0"},
        {"https://example.org/get", "Later", false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.download) + " " + c.button);
        Checker setup(latest("1.2.0", std::nullopt, c.download));
        testsupport::UrlCatcher opened;
        for (const char *scheme : {"https", "http", "javascript"})
            QDesktopServices::setUrlHandler(scheme, &opened, "open");
        const QList<Alert> alerts = setup.run(false, c.button);
        for (const char *scheme : {"https", "http", "javascript"})
            QDesktopServices::unsetUrlHandler(scheme);
        ASSERT_EQ(alerts.size(), 1);
        EXPECT_EQ(alerts.first().buttons, "Download|Later|Skip This Version");
        EXPECT_EQ(opened.urls, c.opened ? QList<QUrl>{QUrl(c.download)} : QList<QUrl>{});
        EXPECT_EQ(QSettings().value(skippedVersion).toString(), c.skipped);
    }
}

TEST(UpdateChecker, LaunchCheckComesOnceADay)
{
    const struct {
        std::optional<double> stamp;
        bool checks;
    } cases[] = {
        {std::nullopt, true}, {now - 86'400, false}, {now - 86'401, true},
        {now - 82'800, false},  // a check failed just now: the next comes in an hour
        {now - 86'400.5, true}, {now + 3'600, true},  // the clock was set back
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stamp ? c.stamp.value() - now : -1.0);
        HttpResponse upToDate = latest("1.0.0");
        upToDate.delayMs = 100;  // still running when looked at
        Checker setup(upToDate);
        if (c.stamp)
            QSettings().setValue(lastChecked, *c.stamp);
        AlertAnswerer answerer(QStringLiteral("OK"));
        setup.checker.checkOnLaunchIfNeeded();
        QCoreApplication::processEvents();
        EXPECT_EQ(setup.checker.isChecking(), c.checks);
        ASSERT_TRUE(waitFor([&] { return !setup.checker.isChecking(); }, 20'000));
        EXPECT_EQ(setup.server.requestCount(), c.checks ? 1 : 0);
        EXPECT_TRUE(answerer.alerts.isEmpty());  // silent, and up to date
    }
}

TEST(UpdateChecker, OneCheckAtATimeAndAStalledServerEndsAtItsTimeout)
{
    Checker setup({.noAnswer = true}, 300);
    AlertAnswerer answerer(QStringLiteral("OK"));
    setup.checker.check(false);
    setup.checker.check(false);  // ends at once: the first still waits
    ASSERT_TRUE(waitFor([&] { return !setup.checker.isChecking(); }, 20'000));
    EXPECT_EQ(setup.server.requestCount(), 1);
    ASSERT_EQ(answerer.alerts.size(), 1);
    EXPECT_EQ(answerer.alerts.first().text, QStringLiteral("Could not check for updates"));
    EXPECT_EQ(answerer.alerts.first().informative, QStringLiteral("The update server did not answer in time."));
    EXPECT_EQ(setup.stamp(), now - 82'800);
}

TEST(UpdateChecker, ChecksOnlyASecureOrLocalServer)
{
    const struct {
        const char *server, *endpoint;
    } cases[] = {
        {"", ""},
        {"http://updates.example.org", ""},
        {"ftp://127.0.0.1", ""},
        {"https://updates.example.org/base/?x=1", "https://updates.example.org/base/api/version"},
        {"http://localhost:8080", "http://localhost:8080/api/version"},
    };
    for (const auto &c : cases) {
        UpdateChecker checker({QUrl(c.server), 1000, [] { return now; }});
        EXPECT_EQ(checker.endpoint(), QUrl(c.endpoint)) << c.server;
    }
    QSettings().clear();
    UpdateChecker none({QUrl(), 1000, [] { return now; }});
    AlertAnswerer answerer(QStringLiteral("OK"));
    none.check(false);
    EXPECT_FALSE(none.isChecking());
    QCoreApplication::processEvents();
    EXPECT_TRUE(answerer.alerts.isEmpty());
    EXPECT_FALSE(QSettings().contains(lastChecked));
}
