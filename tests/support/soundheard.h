#pragma once

#include "sinkmonitor.h"

#include "timeline/previewcomposition.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

// Readings of a sink's monitor that played the slot tone, where every piece's clip
// time equals its timeline time modulo the tone's cycle, so that a slot names both.
namespace testsupport::soundheard {

// ffmpeg's arguments for a 1080p clip of `seconds` with the slot tone whose one
// keyframe is its first picture: a piece that starts late in it takes long to ready.
inline QStringList farClipArguments(double seconds, const QString &output)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=s=1920x1080:r=30:d=%1,noise=alls=12:allf=t").arg(seconds), QStringLiteral("-f"),
            QStringLiteral("lavfi"), QStringLiteral("-i"), SinkMonitor::slotTone(seconds), QStringLiteral("-c:v"),
            QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"), QStringLiteral("-g"), QStringLiteral("1000"), QStringLiteral("-sc_threshold"),
            QStringLiteral("0"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), output};
}

// The slots' clip (at least `end` long) from 0 to `end`, with a 0.12 s piece of a far
// clip at each cut (at most 5 s + the far clip's length), at its time less the tone's
// cycle. Each cut its own clip: a deck that still holds one would read on in it.
struct Cut {
    double at;
    QString far;
};
inline routereel::PreviewPlan cutPlan(const QString &slotClip, const std::vector<Cut> &cuts, double end)
{
    const auto piece = [](const QString &clip, double start, double length, double source, QSizeF size) {
        routereel::PreviewPiece p;
        p.start = *routereel::compositionTicks(start);
        p.length = *routereel::compositionTicks(length);
        p.url = QUrl::fromLocalFile(clip);
        p.sourceStart = *routereel::compositionTicks(source);
        p.naturalSize = size;
        return p;
    };
    routereel::PreviewPlan plan;
    plan.renderSize = QSizeF(64, 64);
    double at = 0;
    for (const Cut &cut : cuts) {
        plan.pieces.push_back(piece(slotClip, at, cut.at - at, at, QSizeF(64, 64)));
        plan.pieces.push_back(piece(cut.far, cut.at, 0.12, cut.at - SinkMonitor::slotNames * SinkMonitor::slotSeconds,
                                    QSizeF(1920, 1080)));
        at = cut.at + 0.12;
    }
    plan.pieces.push_back(piece(slotClip, at, end - at, at, QSizeF(64, 64)));
    return plan;
}

// The timeline time heard at wall time `at`, from the slot heard nearest before it
// (or after it, with `after`) within 0.4 s, its name read near timeline second
// `near`; NaN without one.
inline double timelineAt(const SinkMonitor &monitor, double at, double near, bool after = false)
{
    double nearest = INFINITY, heard = NAN;
    for (const SinkMonitor::Slot &slot : monitor.heardSlots(0)) {
        const double apart = after ? slot.at - at : at - slot.at;
        if (apart >= 0.004 && apart <= 0.4 && apart < nearest) {
            nearest = apart;
            heard = SinkMonitor::slotTime(slot.name, near) + (at - slot.at);
        }
    }
    return heard;
}

// The longest silence between wall times `from` and `to`, to 2 ms: where it began
// and where sound came again; NaNs when there is none.
inline std::pair<double, double> longestSilence(const SinkMonitor &monitor, double from, double to)
{
    constexpr double step = 0.002;
    std::pair<double, double> longest{NAN, NAN};
    double began = NAN;
    for (double w = from; w < to; w += step) {
        const bool quiet = std::isnan(monitor.lastLoud(w, w + step));
        if (quiet && std::isnan(began))
            began = w;
        if ((!quiet || w + step >= to) && !std::isnan(began)) {
            if (std::isnan(longest.first) || w - began > longest.second - longest.first)
                longest = {began, w};
            began = NAN;
        }
    }
    return longest;
}

// At a silence from `silent` to `heard` (wall times) about timeline second `near`: how
// much of what was heard before it is heard again after it, seconds (below 0: skipped).
inline double heardAgainAcross(const SinkMonitor &monitor, double silent, double heard, double near)
{
    const double ended = timelineAt(monitor, monitor.lastLoud(silent - 0.05, silent + 0.002), near);
    return ended - timelineAt(monitor, heard, near, true);
}

// The timeline time the sound heard between wall times `from` and `to` ends at, its
// slot names read near timeline second `near`: the last slot heard and the sound heard
// after it (a drop-out within takes no time, the next slot's own silence does). NaN
// without a slot.
inline double heardTo(const SinkMonitor &monitor, double from, double to, double near)
{
    const auto slots_ = monitor.heardSlots(0);
    const auto last = std::find_if(slots_.rbegin(), slots_.rend(), [&](const SinkMonitor::Slot &s) {
        return s.at >= from && s.at < to;
    });
    if (last == slots_.rend())
        return NAN;
    constexpr double step = 0.001;
    double loud = 0;
    for (double w = last->at; w < to; w += step)
        loud += std::isnan(monitor.lastLoud(w, w + step)) ? 0 : step;
    const double toneLeft = SinkMonitor::slotSeconds - 0.01; // of the last slot, after its silence
    return SinkMonitor::slotTime(last->name, near) + loud + (loud > toneLeft + step ? 0.01 : 0);
}

// Each going back of the slots heard: how far back, seconds, from the furthest heard before.
inline std::vector<double> slotsHeardAgain(const SinkMonitor &monitor)
{
    std::vector<double> again;
    double furthest = -INFINITY, previous = 1;
    for (const SinkMonitor::Slot &slot : monitor.heardSlots(0)) {
        const double t = SinkMonitor::slotTime(slot.name, previous);
        if (t <= furthest && previous > furthest - 1e-9)
            again.push_back(furthest - t + SinkMonitor::slotSeconds);
        furthest = std::max(furthest, t);
        previous = t;
    }
    return again;
}

} // namespace testsupport::soundheard
