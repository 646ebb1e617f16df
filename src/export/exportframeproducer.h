#pragma once

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace routereel {

// A bounded queue with its own producing threads: items 0 ..< total are taken
// in order. With several lanes, lane k produces items k, k + lanes, ... on a
// thread of its own, at most `capacity` ahead of the taker, so slow steps (a
// map page's capture) overlap while the taker still gets them in order. Both
// sides re-test the stop flag and the cancel test at least every 0.1 s, so a
// cancel that nobody signals is still noticed promptly.
template <typename T>
class ExportFrameProducer {
public:
    using IsCancelled = std::function<bool()>;
    using ShouldStop = std::function<bool()>;
    // Called on lane (index % lanes)'s thread; lanes run at once.
    using Produce = std::function<T(int index, const ShouldStop &shouldStop)>;

    ExportFrameProducer(int total, int capacity, IsCancelled isCancelled, Produce produce, int lanes = 1)
        : m_total(total), m_capacity(capacity), m_lanes(std::size_t(std::max(1, lanes))),
          m_isCancelled(std::move(isCancelled)), m_produce(std::move(produce))
    {
        Q_ASSERT(total >= 0 && capacity >= 1);
        for (Lane &lane : m_lanes)
            lane.items.resize(std::size_t(capacity));
        for (std::size_t k = 0; k < m_lanes.size(); ++k)
            m_lanes[k].thread = std::thread([this, k] { run(int(k)); });
    }

    ~ExportFrameProducer() { stop(); }

    ExportFrameProducer(const ExportFrameProducer &) = delete;
    ExportFrameProducer &operator=(const ExportFrameProducer &) = delete;

    // The next item in index order; none once stopped, cancelled, or finished with nothing waiting.
    std::optional<T> take()
    {
        std::unique_lock guard(m_lock);
        Lane &lane = m_lanes[std::size_t(m_next) % m_lanes.size()];
        while (lane.count == 0 && !lane.finished) {
            if (m_stopped)
                return std::nullopt;
            if (cancelled())
                break;
            m_changed.wait_for(guard, pollInterval);
        }
        if (m_stopped || cancelled() || lane.count <= 0)
            return std::nullopt;
        std::optional<T> item = std::move(lane.items[std::size_t(lane.readIndex)]);
        lane.items[std::size_t(lane.readIndex)].reset();
        lane.readIndex = (lane.readIndex + 1) % m_capacity;
        --lane.count;
        ++m_next;
        m_changed.notify_all();
        return item;
    }

    // Ends production, drops waiting items and returns when every producing thread has ended.
    void stop()
    {
        {
            std::lock_guard guard(m_lock);
            m_stopped = true;
            for (Lane &lane : m_lanes) {
                for (auto &slot : lane.items)
                    slot.reset();
                lane.count = 0;
            }
            m_changed.notify_all();
        }
        std::lock_guard join(m_joinLock);
        for (Lane &lane : m_lanes) {
            if (lane.thread.joinable())
                lane.thread.join();
        }
    }

    static constexpr std::chrono::milliseconds pollInterval{100};

private:
    struct Lane {
        std::vector<std::optional<T>> items;
        int readIndex = 0;
        int writeIndex = 0;
        int count = 0;
        bool finished = false;
        std::thread thread;
    };

    bool cancelled() const { return m_isCancelled && m_isCancelled(); }

    void run(int k)
    {
        Lane &lane = m_lanes[std::size_t(k)];
        const ShouldStop shouldStop = [this] {
            {
                std::lock_guard guard(m_lock);
                if (m_stopped)
                    return true;
            }
            return cancelled();
        };
        for (int i = k; i < m_total; i += int(m_lanes.size())) {
            {
                std::unique_lock guard(m_lock);
                while (lane.count == m_capacity) {
                    if (m_stopped || cancelled())
                        break;
                    m_changed.wait_for(guard, pollInterval);
                }
                if (m_stopped || cancelled())
                    break;
            }
            T item = m_produce(i, shouldStop);
            std::lock_guard guard(m_lock);
            if (m_stopped || cancelled())
                break;
            lane.items[std::size_t(lane.writeIndex)] = std::move(item);
            lane.writeIndex = (lane.writeIndex + 1) % m_capacity;
            ++lane.count;
            m_changed.notify_all();
        }
        std::lock_guard guard(m_lock);
        lane.finished = true;
        m_changed.notify_all();
    }

    const int m_total;
    const int m_capacity;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Lane> m_lanes;
    int m_next = 0;  // index of the next item to take
    bool m_stopped = false;
    IsCancelled m_isCancelled;
    Produce m_produce;
    std::mutex m_joinLock;
};

} // namespace routereel
