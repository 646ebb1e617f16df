// Launches started at the same moment, as real processes: one becomes the instance, every
// other hands its file to it; a socket left by a killed instance is replaced.
#include "singleinstance.h"

#include <QDateTime>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace routereel;

namespace {

struct Launch {
    std::unique_ptr<QProcess> process;
    QString file;
    QStringList lines;
};

// `count` launches that all claim `socket` at the same moment; the instance among
// them waits for `handOvers` hand-overs. The bounds are wide: a loaded machine is
// slow, and only what the launches became is judged.
std::vector<Launch> launchTogether(const QString &socket, int count, int handOvers, const QString &tag)
{
    const qint64 startAt = QDateTime::currentMSecsSinceEpoch() + 400;
    std::vector<Launch> launches(count);
    for (int k = 0; k < count; ++k) {
        Launch &l = launches[k];
        l.file = QStringLiteral("/rides/%1-%2.rrl").arg(tag).arg(k);
        l.process = std::make_unique<QProcess>();
        l.process->start(ROUTEREEL_LAUNCHER_BINARY,
                         {socket, QString::number(startAt), l.file, QString::number(handOvers), "90000", "60000"});
    }
    for (Launch &l : launches) {
        EXPECT_TRUE(l.process->waitForFinished(120'000));
        l.lines = QString::fromUtf8(l.process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    return launches;
}

// Exactly one instance, which received every other launch's file.
void expectOneInstance(const std::vector<Launch> &launches, const QString &what)
{
    SCOPED_TRACE(what.toStdString());
    QStringList roles, handedFiles, received;
    for (const Launch &l : launches) {
        roles << (l.lines.isEmpty() ? QStringLiteral("(nothing)") : l.lines.first());
        if (roles.last() == "handedOver")
            handedFiles << l.file;
        for (const QString &line : l.lines.mid(1))
            received << line.mid(QStringLiteral("received ").size());
    }
    EXPECT_EQ(roles.count("listening"), 1) << roles.join(", ").toStdString();
    EXPECT_EQ(roles.count("handedOver"), qsizetype(launches.size()) - 1) << roles.join(", ").toStdString();
    handedFiles.sort();
    received.sort();
    EXPECT_EQ(received, handedFiles);
}

} // namespace

TEST(SingleInstance, LaunchesStartedTogetherMakeOneInstance)
{
    for (int round = 0; round < 20; ++round) {
        QTemporaryDir runtime;
        const QString socket = QDir(runtime.path()).filePath("routereel-instance");
        const int count = 2 + round % 3;
        const auto launches = launchTogether(socket, count, count - 1, QString::number(round));
        expectOneInstance(launches, QStringLiteral("round %1, %2 launches").arg(round).arg(count));
        EXPECT_FALSE(QFile::exists(socket)) << "the instance that ended left its socket";
    }
}

TEST(SingleInstance, ADeadInstanceIsReplacedALiveOneWaitedForWithinBound)
{
    QTemporaryDir runtime;
    const QString socket = QDir(runtime.path()).filePath("routereel-instance");

    // Killed: its socket stays behind, its lock goes with it.
    QProcess killed;
    killed.start(ROUTEREEL_LAUNCHER_BINARY, {socket, "0", "/rides/killed.rrl", "100", "60000"});
    ASSERT_TRUE(killed.waitForReadyRead(30'000));
    ASSERT_EQ(killed.readLine().trimmed(), "listening");
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(30'000));
    ASSERT_TRUE(QFile::exists(socket));
    expectOneInstance(launchTogether(socket, 3, 2, "after-kill"), "launches after a kill");

    // A launch that holds the lock but never listens (hung): the others give up within
    // their bound and do not start a second instance.
    const int fd = ::open(QFile::encodeName(socket + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    QProcess waiting;
    waiting.start(ROUTEREEL_LAUNCHER_BINARY, {socket, "0", "/rides/late.rrl", "1", "1000", "500"});
    ASSERT_TRUE(waiting.waitForFinished(30'000));
    EXPECT_EQ(waiting.readAllStandardOutput().trimmed(), "unanswered");
    EXPECT_FALSE(QFile::exists(socket));

    // Its holder listens late, within the bound: the launch hands its file over to it
    // once the holder says it took it.
    QProcess handing;
    handing.start(ROUTEREEL_LAUNCHER_BINARY, {socket, "0", "/rides/late.rrl", "1", "1000", "30000"});
    QThread::msleep(300);
    QLocalServer holder;
    ASSERT_TRUE(holder.listen(socket));
    ASSERT_TRUE(holder.waitForNewConnection(10'000));
    QLocalSocket *message = holder.nextPendingConnection();
    while (!message->canReadLine() && message->waitForReadyRead(10'000)) {
    }
    EXPECT_TRUE(message->readLine().contains(QUrl::fromLocalFile("/rides/late.rrl").toEncoded()));
    message->write("taken\n");
    message->flush();
    ASSERT_TRUE(handing.waitForFinished(30'000));
    EXPECT_EQ(handing.readAllStandardOutput().trimmed(), "handedOver");
    ::close(fd);
}

// A launch racing the running instance's quit, at moments drawn at random: its
// file is taken by the instance before it quits, or opened by the launch itself
// once the instance has gone; never counted as handed over and dropped.
TEST(SingleInstance, AHandOverRacingAQuitIsTakenOrOpenedByTheLaunch)
{
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE(testing::Message() << "moments drawn with seed " << seed);
    const auto draw = [&random](int from, int to) { return std::uniform_int_distribution<int>(from, to)(random); };
    int taken = 0, ownFiles = 0;
    for (int round = 0; round < 24; ++round) {
        QTemporaryDir runtime;
        const QString socket = QDir(runtime.path()).filePath("routereel-instance");
        // The instance stays 500 ms, is busy a while (its thread answers nothing),
        // then refuses hand-overs a while and ends.
        const int busy = draw(0, 300), quitting = draw(0, 300);
        QProcess instance;
        instance.start(ROUTEREEL_LAUNCHER_BINARY, {socket, "0", "/rides/instance.rrl", "1000", "500", "60000",
                                                   QString::number(busy), QString::number(quitting)});
        ASSERT_TRUE(instance.waitForReadyRead(30'000));
        ASSERT_EQ(instance.readLine().trimmed(), "listening");
        const QString file = QStringLiteral("/rides/race-%1.rrl").arg(round);
        const qint64 at = QDateTime::currentMSecsSinceEpoch() + draw(150, 500 + busy + quitting + 150);
        QProcess launch;
        launch.start(ROUTEREEL_LAUNCHER_BINARY, {socket, QString::number(at), file, "0", "0", "60000"});
        ASSERT_TRUE(launch.waitForFinished(120'000));
        ASSERT_TRUE(instance.waitForFinished(120'000));
        const QString became = QString::fromUtf8(launch.readAllStandardOutput()).trimmed();
        const bool received = instance.readAllStandardOutput().contains(("received " + file + "\n").toUtf8());
        SCOPED_TRACE(testing::Message() << "round " << round << ", busy " << busy << " ms, quitting " << quitting
                                        << " ms, launch " << became.toStdString());
        EXPECT_TRUE(became == "handedOver" || became == "listening");
        EXPECT_EQ(received, became == "handedOver") << "taken by one of them, exactly once";
        taken += received;
        ownFiles += became == "listening";
    }
    std::cout << "[ race ] taken by the instance " << taken << ", opened by the launch " << ownFiles << "\n";
}
