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

// A bounded single-producer, single-consumer queue with its own producing
// thread: items 0 ..< total are produced in order, at most `capacity` ahead of
// the taker. Both sides re-test the stop flag and the cancel test at least
// every 0.1 s, so a cancel that nobody signals is still noticed promptly.
template <typename T>
class ExportFrameProducer {
public:
    using IsCancelled = std::function<bool()>;
    using ShouldStop = std::function<bool()>;
    using Produce = std::function<T(int index, const ShouldStop &shouldStop)>;

    ExportFrameProducer(int total, int capacity, IsCancelled isCancelled, Produce produce)
        : m_total(total), m_capacity(capacity), m_slots(std::size_t(capacity)),
          m_isCancelled(std::move(isCancelled)), m_produce(std::move(produce))
    {
        Q_ASSERT(total >= 0 && capacity >= 1);
        m_thread = std::thread([this] { run(); });
    }

    ~ExportFrameProducer() { stop(); }

    ExportFrameProducer(const ExportFrameProducer &) = delete;
    ExportFrameProducer &operator=(const ExportFrameProducer &) = delete;

    // The next item in index order; none once stopped, cancelled, or finished with nothing waiting.
    std::optional<T> take()
    {
        std::unique_lock guard(m_lock);
        while (m_count == 0 && !m_finished) {
            if (m_stopped)
                return std::nullopt;
            if (cancelled())
                break;
            m_changed.wait_for(guard, pollInterval);
        }
        if (m_stopped || cancelled() || m_count <= 0)
            return std::nullopt;
        std::optional<T> item = std::move(m_slots[std::size_t(m_readIndex)]);
        m_slots[std::size_t(m_readIndex)].reset();
        m_readIndex = (m_readIndex + 1) % m_capacity;
        --m_count;
        m_changed.notify_all();
        return item;
    }

    // Ends production, drops waiting items and returns when the producing thread has ended.
    void stop()
    {
        {
            std::lock_guard guard(m_lock);
            m_stopped = true;
            for (auto &slot : m_slots)
                slot.reset();
            m_count = 0;
            m_changed.notify_all();
        }
        std::lock_guard join(m_joinLock);
        if (m_thread.joinable())
            m_thread.join();
    }

    static constexpr std::chrono::milliseconds pollInterval{100};

private:
    bool cancelled() const { return m_isCancelled && m_isCancelled(); }

    void run()
    {
        const ShouldStop shouldStop = [this] {
            {
                std::lock_guard guard(m_lock);
                if (m_stopped)
                    return true;
            }
            return cancelled();
        };
        for (int i = 0; i < m_total; ++i) {
            {
                std::unique_lock guard(m_lock);
                while (m_count == m_capacity) {
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
            m_slots[std::size_t(m_writeIndex)] = std::move(item);
            m_writeIndex = (m_writeIndex + 1) % m_capacity;
            ++m_count;
            m_changed.notify_all();
        }
        std::lock_guard guard(m_lock);
        m_finished = true;
        m_changed.notify_all();
    }

    const int m_total;
    const int m_capacity;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::optional<T>> m_slots;
    int m_readIndex = 0;
    int m_writeIndex = 0;
    int m_count = 0;
    bool m_stopped = false;
    bool m_finished = false;
    IsCancelled m_isCancelled;
    Produce m_produce;
    std::mutex m_joinLock;
    std::thread m_thread;
};

} // namespace routereel
