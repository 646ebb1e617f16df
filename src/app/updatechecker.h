#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

namespace routereel {

class UpdateCheckError;
struct UpdateInfo;

// Asks the update server's "/api/version" whether a newer version is out and
// offers its download. At launch it checks silently, at most once a day (it
// speaks only of a newer version the user did not skip); from the menu it
// checks at once and always answers. One check at a time: a check started
// while another waits ends at once. Main thread only.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    static constexpr double launchInterval = 86'400;  // seconds between launch checks
    // A failed check is stored as this long ago, so the next launch check comes an hour later.
    static constexpr double failureBackdate = 82'800;
    static constexpr int defaultTimeoutMs = 30'000;
    static constexpr qint64 answerLimit = 64 * 1024;  // bytes; a larger answer is a failure

    struct Options {
        // The update server's base address; no check without a valid one (see endpoint()).
        QUrl server;
        // Longest wait without a byte from the server.
        int timeoutMs = defaultTimeoutMs;
        // Seconds since 1970 (tests); the system clock when empty.
        std::function<double()> now;
    };

    explicit UpdateChecker(Options options, QObject *parent = nullptr);

    // The window the alerts belong to.
    void setWindow(QWidget *window);

    // "<server>/api/version" for an https server (plain http only on this machine); invalid otherwise.
    QUrl endpoint() const;
    bool isChecking() const { return m_checking; }

    // Starts a silent check on the next turn of the event loop when the last one is older
    // than a day, or lies in the future (the clock was set back).
    void checkOnLaunchIfNeeded();
    // Returns at once; the alerts are modal and the check ends when they are answered.
    void check(bool silent);

    // The running version, or "0.0.0" when it is unknown.
    static QString currentVersion();
    // -1, 0 or +1: numbers before any "-" or "+", compared piece by piece (missing as 0);
    // between equal numbers a pre-release ("-") comes first.
    static int compareVersions(const QString &a, const QString &b);

signals:
    // A check that got past the one-at-a-time test has ended (its alert answered).
    void checkFinished();

private:
    void handleReply(QNetworkReply *reply, bool silent);
    void handleAnswer(const UpdateInfo &info, bool silent);
    void fail(const UpdateCheckError &error, bool silent);
    void finish();
    double now() const;

    void showUpdateAlert(const UpdateInfo &info, const QString &current);
    void showUpToDateAlert(const QString &current);
    void showCheckFailedAlert(const UpdateCheckError &error);

    Options m_options;
    QNetworkAccessManager *m_network;
    QPointer<QWidget> m_window;
    bool m_checking = false;
};

} // namespace routereel
