#include "export/exportframeproducer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

using namespace routereel;

TEST(ExportFrameProducer, ItemsComeInOrderWithTheProducerAtMostCapacityAhead)
{
    for (const int capacity : {1, 3}) {
        std::atomic<int> produced{0};
        std::atomic<int> taken{0};
        std::atomic<int> maxAhead{0};
        ExportFrameProducer<int> producer(20, capacity, {}, [&](int index, const auto &) {
            const int ahead = index - taken.load();
            maxAhead = std::max(maxAhead.load(), ahead);
            ++produced;
            return index * 10;
        });
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a slow taker
            const auto item = producer.take();
            ASSERT_TRUE(item);
            EXPECT_EQ(*item, i * 10);
            ++taken;
        }
        EXPECT_FALSE(producer.take());
        EXPECT_LE(maxAhead.load(), capacity);
        EXPECT_EQ(produced.load(), 20);
    }
}

TEST(ExportFrameProducer, EmptyProducerEndsAtOnce)
{
    ExportFrameProducer<int> none(0, 2, {}, [](int, const auto &) { return 1; });
    EXPECT_FALSE(none.take());
    none.stop();
    none.stop();
}

TEST(ExportFrameProducer, StopEndsAProducerWaitingForRoom)
{
    std::atomic<int> produced{0};
    ExportFrameProducer<int> producer(100, 2, {}, [&](int i, const auto &) {
        ++produced;
        return i;
    });
    // The producer thread may start late on a busy machine: wait for it to fill the room,
    // then give it time to (wrongly) go past it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (produced.load() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(produced.load(), 2);
    producer.stop();
    EXPECT_FALSE(producer.take());
    EXPECT_EQ(produced.load(), 2);
}

TEST(ExportFrameProducer, CancelReleasesAWaitingTakerAndTheProduceStep)
{
    std::atomic<bool> cancelled{false};
    std::atomic<bool> sawStop{false};
    ExportFrameProducer<int> producer(5, 2, [&] { return cancelled.load(); }, [&](int i, const auto &shouldStop) {
        if (i == 0)
            return 0;
        // A slow capture that gives up when told to.
        while (!shouldStop())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        sawStop = true;
        return i;
    });
    EXPECT_EQ(producer.take(), 0);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancelled = true;  // nobody signals the producer's condition
    });
    EXPECT_FALSE(producer.take());
    canceller.join();
    producer.stop();
    EXPECT_TRUE(sawStop.load());
}

// Slow steps (a map page's capture) run side by side, one lane each, and still
// come out in order, each lane at most its capacity ahead of the taker.
TEST(ExportFrameProducer, LanesProduceAtOnceAndHandOverInOrder)
{
    constexpr int lanes = 3;
    constexpr int capacity = 2;
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
    int mostAtOnce = 0;
    std::atomic<int> taken{0};
    std::atomic<int> maxAhead{0};
    std::set<std::thread::id> threads;
    ExportFrameProducer<int> producer(
        30, capacity, {},
        [&](int index, const auto &) {
            std::unique_lock guard(lock);
            threads.insert(std::this_thread::get_id());
            maxAhead = std::max(maxAhead.load(), index - taken.load());
            mostAtOnce = std::max(mostAtOnce, ++running);
            changed.notify_all();
            // The first items wait until every lane is producing at once (a serial producer never gets there).
            if (index < lanes)
                changed.wait_for(guard, std::chrono::seconds(5), [&] { return mostAtOnce == lanes; });
            --running;
            return index * 10;
        },
        lanes);
    for (int i = 0; i < 30; ++i) {
        const auto item = producer.take();
        ASSERT_TRUE(item);
        EXPECT_EQ(*item, i * 10);
        ++taken;
    }
    EXPECT_FALSE(producer.take());
    EXPECT_EQ(mostAtOnce, lanes);
    EXPECT_EQ(int(threads.size()), lanes);
    EXPECT_LE(maxAhead.load(), lanes * capacity);
}
