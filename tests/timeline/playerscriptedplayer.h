#pragma once

#include "timeline/previewplayer.h"

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

// A media player whose every answer the test gives: item status, seek
// completions, time and end of play happen when the test says so.
class ScriptedPlayer : public routereel::PreviewPlayer {
public:
    ItemId replaceItem(std::optional<routereel::PreviewPlan> plan) override
    {
        ++replaceCount;
        installedPlan = plan;
        item = plan ? ++lastItem : 0;
        status = ItemStatus::unknown;
        error.clear();
        return item;
    }
    ItemId currentItem() const override { return item; }
    ItemStatus itemStatus() const override { return status; }
    QString itemError() const override { return error; }
    void play() override
    {
        if (onPlay)
            onPlay();
        else
            setPlaying(true);
    }
    void pause() override { setPlaying(false); }
    bool isPlaying() const override { return playing; }
    double currentTime() const override { return item ? time : std::numeric_limits<double>::quiet_NaN(); }
    void seek(double seconds, std::function<void(bool)> completion) override
    {
        seeks.push_back({seconds, std::move(completion)});
    }
    QImage currentFrame() const override { return {}; }
    QTransform currentFrameTransform() const override { return {}; }
    QSizeF renderSize() const override { return {1920, 1080}; }

    // Test side.
    void settle(ItemStatus s, const QString &message = {})
    {
        status = s;
        error = message;
        emit itemStatusChanged(item, s);
    }
    // Completes the seek at `index` (default: the latest) as the media player would.
    void completeSeek(int index = -1, bool finished = true)
    {
        auto &s = seeks.at(index < 0 ? seeks.size() - 1 : size_t(index));
        if (finished)
            time = s.seconds;
        auto done = std::move(s.completion);
        if (done)
            done(finished);
    }
    void tick(double seconds)
    {
        time = seconds;
        emit periodicTime(seconds);
    }
    void reachEnd()
    {
        setPlaying(false);
        emit playedToEnd(item);
    }
    void setPlaying(bool value)
    {
        if (playing == value)
            return;
        playing = value;
        emit playingChanged(value);
    }

    struct Seek {
        double seconds;
        std::function<void(bool)> completion;
    };
    std::vector<Seek> seeks;
    std::function<void()> onPlay; // how the player answers play; starts running when none
    std::optional<routereel::PreviewPlan> installedPlan;
    int replaceCount = 0;
    ItemId item = 0;
    ItemId lastItem = 0;
    ItemStatus status = ItemStatus::unknown;
    QString error;
    bool playing = false;
    double time = 0;
};
