// routereel-with-sound COMMAND ARGS...: runs a test program with a PulseAudio
// server and null sink of its own, so that the players' tests also run with a
// sound device. Without pulseaudio installed the command runs without one.
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: routereel-with-sound COMMAND ARGS...\n");
        return 2;
    }
    testsupport::SoundServer server;
    // Running without one would pass the device's runs as the device-less ones.
    if (!server.start()) {
        std::fprintf(stderr, "routereel-with-sound: no PulseAudio server could be started\n");
        return 1;
    }
    QProcess test;
    test.setProcessChannelMode(QProcess::ForwardedChannels);
    test.start(args.first(), args.mid(1));
    // Bounded below ctest's own timeout, so that the server is stopped in any case.
    if (!test.waitForFinished(1'700'000)) {
        test.kill();
        test.waitForFinished(10'000);
        return 1;
    }
    return test.exitStatus() == QProcess::NormalExit ? test.exitCode() : 1;
}
