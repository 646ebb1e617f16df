#include "export/ffmpegprocess.h"

#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace routereel;

namespace {

// What the child printed on its standard output until it ended.
QByteArray outputOf(FFmpegProcess &process)
{
    QByteArray out;
    const int fd = process.takeStdoutFd();
    char chunk[256];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;)
        out.append(chunk, n);
    ::close(fd);
    process.waitForExit();
    return out;
}

} // namespace

// More than exec copies is refused before the child is made, with the reason in
// words, rather than exec's bare "Argument list too long".
TEST(FFmpegProcess, ArgumentsBeyondTheSystemsLimitsAreRefusedWithTheReason)
{
    const long available = ::sysconf(_SC_ARG_MAX);
    ASSERT_GT(available, 0);
    struct Case {
        const char *name;
        QStringList arguments;
        const char *reason;  // empty: started
    };
    const QList<Case> cases{
        {"one argument of 128 KiB", {QString(128 * 1024, QLatin1Char('g'))}, "one of its arguments is 128 KiB long"},
        {"many arguments, more in all than the system takes",
         QStringList(int(available / 1000) + 1, QString(1000, QLatin1Char('i'))),
         "more than the system allows"},
        {"one argument just under 128 KiB", {QString(128 * 1024 - 1, QLatin1Char('g'))}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        auto process = FFmpegProcess::start(QStringLiteral("/bin/true"), c.arguments,
                                            QProcessEnvironment::systemEnvironment(), &error);
        if (!*c.reason) {
            ASSERT_TRUE(process) << error.toStdString();
            EXPECT_EQ(process->waitForExit().code, 0);
            continue;
        }
        EXPECT_FALSE(process);
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
    }
}

// ffmpeg holds every input file open from its start: the child may open as many
// files as the system lets this user, not only the usual soft limit of 1024.
TEST(FFmpegProcess, TheChildMayOpenAsManyFilesAsTheHardLimitAllows)
{
    rlimit own{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
    if (own.rlim_max != RLIM_INFINITY && own.rlim_max < 256)
        GTEST_SKIP() << "hard limit " << own.rlim_max;
    rlimit lowered = own;
    lowered.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    QString error;
    auto process = FFmpegProcess::start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("ulimit -Sn")},
                                        QProcessEnvironment::systemEnvironment(), &error);
    ::setrlimit(RLIMIT_NOFILE, &own);
    ASSERT_TRUE(process) << error.toStdString();
    const QByteArray printed = outputOf(*process).trimmed();
    if (own.rlim_max == RLIM_INFINITY)
        EXPECT_EQ(printed, "unlimited");
    else
        EXPECT_EQ(printed.toULongLong(), own.rlim_max);
}

// ffmpeg may finish a file long after it took its last frame on a busy machine or a
// slow share: it is waited for while it works or reads and writes, and given up on
// only once it has stood still.
TEST(FFmpegProcess, WaitingFollowsAChildThatWorksAndGivesUpOnOneThatStandsStill)
{
    using namespace std::chrono_literals;
    struct Case {
        const char *name;
        const char *python; // prints a line once running
        bool exits;
    };
    const QList<Case> cases{
        {"works for well past the bound", "t = time.monotonic() + 6\nwhile time.monotonic() < t: pass", true},
        {"writes a little at a time for well past the bound",
         "for i in range(50):\n    sys.stdout.write('x'); sys.stdout.flush(); time.sleep(0.1)", true},
        {"stands still", "time.sleep(600)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        auto process = FFmpegProcess::start(
            QStringLiteral("/usr/bin/env"),
            {QStringLiteral("python3"), QStringLiteral("-c"),
             QStringLiteral("import sys, time\nprint('up', flush=True)\n") + QLatin1String(c.python)},
            QProcessEnvironment::systemEnvironment(), &error);
        ASSERT_TRUE(process) << error.toStdString();
        // Measured from when it runs: starting may wait on a busy disk.
        pollfd up{process->takeStdoutFd(), POLLIN, 0};
        ASSERT_EQ(::poll(&up, 1, 60'000), 1) << "the child never started";
        EXPECT_EQ(process->waitForExitWhileWorking(2s), c.exits);
        if (c.exits) {
            EXPECT_EQ(process->exitState().code, 0);
        } else {
            EXPECT_TRUE(process->isRunning());
            process->end();
        }
        ::close(up.fd);
    }
}
