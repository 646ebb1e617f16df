#pragma once

#include <QProcess>
#include <QStringList>

#include <cstdio>

namespace routereel::bench {

// Runs Debian's ffmpeg to make a bench's inputs; what it says goes to stderr on failure.
inline bool ffmpeg(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                                  QStringLiteral("-loglevel"), QStringLiteral("error"),
                                                  QStringLiteral("-y")} + args);
    if (!p.waitForFinished(900'000) || p.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", p.readAll().constData());
        return false;
    }
    return true;
}

} // namespace routereel::bench
