// routereel-with-sound [--one-second] [--pipewire] COMMAND ARGS...: runs a test
// program with a PulseAudio server and null sink of its own, so that the players'
// tests also run with a sound device; --one-second gives the sink and the program's
// streams about 1 s of latency, as Bluetooth headphones have; --pipewire makes the
// server PipeWire's PulseAudio service, for this run and the servers its tests start.
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        // For the servers the tests start, too.
        if (args.first() == QStringLiteral("--one-second"))
            qputenv("ROUTEREEL_SOUND_LATENCY", "1s");
        else if (args.first() == QStringLiteral("--pipewire"))
            qputenv("ROUTEREEL_SOUND_SERVER", "pipewire");
        else
            break;
        args.removeFirst();
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: routereel-with-sound [--one-second] [--pipewire] COMMAND ARGS...\n");
        return 2;
    }
    testsupport::SoundServer server;
    // Running without one would pass the device's runs as the device-less ones.
    if (!server.start()) {
        std::fprintf(stderr, "routereel-with-sound: no sound server could be started\n");
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
