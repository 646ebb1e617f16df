// A launch of routereel reduced to its single-instance step, for the tests that start
// many at once: claims the instance as main() does and tells on standard output what
// it became and, as the instance, which files it received.
//
// launcher <socket> <start at, ms since the epoch> <file> <hand-overs to wait for> <stay ms> [claim limit ms]
//          [busy ms] [quit ms]
//
// With the last two, the instance quits as the application does once it has
// stayed: its thread is busy a while (connections wait unaccepted), then it
// refuses hand-overs and still runs a while before it ends.
#include "singleinstance.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <cstdio>

using routereel::SingleInstance;

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 6)
        return 2;
    const qint64 wait = args.at(2).toLongLong() - QDateTime::currentMSecsSinceEpoch();
    if (wait > 0)
        QThread::msleep(std::min<qint64>(wait, 10'000));

    SingleInstance instance(args.at(1));
    const int limit = args.size() > 6 ? args.at(6).toInt() : SingleInstance::claimLimitMs;
    int waitFor = args.at(4).toInt();
    QObject::connect(&instance, &SingleInstance::received, &app, [&](const QList<QUrl> &urls) {
        for (const QUrl &url : urls)
            say(QStringLiteral("received ") + url.toLocalFile());
        if (--waitFor <= 0)
            app.quit();
    });
    switch (instance.claim({QUrl::fromLocalFile(args.at(3))}, limit)) {
    case SingleInstance::Claim::handedOver:
        say(QStringLiteral("handedOver"));
        return 0;
    case SingleInstance::Claim::unanswered:
        say(QStringLiteral("unanswered"));
        return 1;
    case SingleInstance::Claim::alone:
        say(QStringLiteral("alone"));
        return 1;
    case SingleInstance::Claim::listening:
        say(QStringLiteral("listening"));
        break;
    }
    if (waitFor <= 0)
        return 0;
    if (args.size() > 8) {
        QTimer::singleShot(args.at(5).toInt(), &app, [&] {
            QThread::msleep(args.at(7).toULong());
            instance.refuseHandOvers();
            say(QStringLiteral("quitting"));
            QTimer::singleShot(args.at(8).toInt(), &app, &QCoreApplication::quit);
        });
    } else {
        QTimer::singleShot(args.at(5).toInt(), &app, &QCoreApplication::quit);
    }
    return app.exec();
}
