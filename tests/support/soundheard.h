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
// clip at each cut, at its time less a multiple of the tone's cycle.
struct Cut {
    double at;
    QString far;
    double source;
};
// Two cuts into a 4 s far clip, each starting before where the other's piece ends: a
// deck that still holds the clip seeks back to its keyframe rather than reading on.
inline std::vector<Cut> cutsBack(const QString &far)
{
    return {{8.77, far, 3.77}, {13.73, far, 3.73}};
}
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
        // A short piece before the cut: the far clip is readied only from its start.
        plan.pieces.push_back(piece(slotClip, at, cut.at - 0.15 - at, at, QSizeF(64, 64)));
        plan.pieces.push_back(piece(slotClip, cut.at - 0.15, 0.15, cut.at - 0.15, QSizeF(64, 64)));
        plan.pieces.push_back(piece(cut.far, cut.at, 0.12, cut.source, QSizeF(1920, 1080)));
        at = cut.at + 0.12;
    }
    plan.pieces.push_back(piece(slotClip, at, end - at, at, QSizeF(64, 64)));
    return plan;
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

// When the playhead looked at from wall time `from` first stood at timeline second
// `cut`; NaN when it never did.
inline double reachedAt(const std::vector<SinkMonitor::Look> &looks, double cut, double from)
{
    for (const SinkMonitor::Look &look : looks)
        if (look.wall >= from && look.playhead >= cut - 1e-6)
            return look.wall;
    return NAN;
}

// The seconds of sound heard between two wall times, to a millisecond.
inline double loudSeconds(const SinkMonitor &monitor, double from, double to)
{
    constexpr double step = 0.001;
    double loud = 0;
    for (double w = from; w < to; w += step)
        loud += std::isnan(monitor.lastLoud(w, w + step)) ? 0 : step;
    return loud;
}

inline double heardTo(const SinkMonitor &monitor, double from, double to, double near);

// The timeline time of the sound first heard at or after wall time `on`: the first
// slot heard within a second, less the sound heard before it (a drop-out takes no
// time, its own silence does).
inline double heardFrom(const SinkMonitor &monitor, double on, double near)
{
    for (const SinkMonitor::Slot &slot : monitor.heardSlots(0))
        if (slot.at > on + 0.004 && slot.at < on + 1)
            return SinkMonitor::slotTime(slot.name, near) - 0.01 - loudSeconds(monitor, on - 0.002, slot.at - 0.0005);
    return NAN;
}

// At a silence from `silent` to `on` (wall times) about timeline second `near`, the
// sound heard since `from`: how much of what was heard before it is heard again after
// it, seconds (below 0: skipped).
inline double heardAgainAcross(const SinkMonitor &monitor, double from, double silent, double on, double near)
{
    return heardTo(monitor, from, silent + 0.002, near) - heardFrom(monitor, on, near);
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
    const double loud = loudSeconds(monitor, last->at, to);
    constexpr double step = 0.001;
    const double toneLeft = SinkMonitor::slotSeconds - 0.01; // of the last slot, after its silence
    return SinkMonitor::slotTime(last->name, near) + loud + (loud > toneLeft + step ? 0.01 : 0);
}

// Each going back of the slots heard between wall times `from` and `to`, their names
// read from timeline second `near` on: how far back, seconds, from the furthest heard before.
inline std::vector<double> slotsHeardAgain(const SinkMonitor &monitor, double from = -INFINITY,
                                           double to = INFINITY, double near = 1)
{
    std::vector<double> again;
    double furthest = -INFINITY, previous = near;
    for (const SinkMonitor::Slot &slot : monitor.heardSlots(0)) {
        if (slot.at < from || slot.at >= to)
            continue;
        const double t = SinkMonitor::slotTime(slot.name, previous);
        if (t <= furthest && previous > furthest - 1e-9)
            again.push_back(furthest - t + SinkMonitor::slotSeconds);
        furthest = std::max(furthest, t);
        previous = t;
    }
    return again;
}

} // namespace testsupport::soundheard
