#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "Platform/SerialQueue.hpp"

using namespace std::chrono_literals;
using ostrel::SerialQueue;

TEST(SerialQueueTest, RunsWorkInSubmissionOrderOneAtATime) {
    SerialQueue queue("ostrel.test.queue");
    std::vector<int> seen;
    std::atomic<int> running{0};
    bool overlapped = false;
    std::vector<std::thread> submitters;
    // Order holds per submitter; overlap must never happen across submitters.
    for (int t = 0; t < 4; ++t) {
        submitters.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                queue.async([&, t, i] {
                    overlapped = overlapped || running.fetch_add(1) != 0;
                    seen.push_back(t * 1000 + i);
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& s : submitters) s.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(seen.size(), 800u);
    std::vector<int> last(4, -1);
    for (int v : seen) EXPECT_GT(v % 1000, std::exchange(last[v / 1000], v % 1000));
}

// Sync from the queue's own thread would wait on itself forever: refused as a programming error.
TEST(SerialQueueTest, SyncHandsBackResultsAndExceptionsAndRefusesItsOwnThread) {
    SerialQueue queue("ostrel.test.queue");
    EXPECT_EQ(queue.sync([] { return 42; }), 42);
    EXPECT_THROW(queue.sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    EXPECT_THROW(queue.sync([&] { queue.sync([] {}); }), std::logic_error);
    EXPECT_TRUE(queue.sync([&] { return queue.isCurrent(); }));
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialQueueTest, AsyncAfterKeepsDueOrderAndDestructionRunsQueuedWorkButDropsWorkNotYetDue) {
    std::vector<int> order;
    std::atomic<int> ran{0};
    {
        SerialQueue queue("ostrel.test.queue");
        const auto start = SerialQueue::Clock::now();
        SerialQueue::Clock::time_point ranAt{};
        queue.asyncAfter(60ms, [&] { order.push_back(2), ranAt = SerialQueue::Clock::now(); });
        queue.asyncAfter(20ms, [&] { order.push_back(1); });
        queue.async([&] { order.push_back(0); });
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(queue.sync([&] { return order; }), (std::vector<int>{0, 1, 2}));
        EXPECT_GE(ranAt - start, 60ms);

        queue.async([&] { std::this_thread::sleep_for(20ms), ++ran; });
        queue.async([&] { ++ran; });
        queue.asyncAfter(10s, [&] { ran += 100; });
    }
    EXPECT_EQ(ran.load(), 2);
}

TEST(SerialQueueTest, LastOwnerReleasedFromInsideATaskDoesNotDeadlock) {
    auto queue = std::make_shared<SerialQueue>("ostrel.test.queue");
    std::atomic<bool> done{false};
    auto* raw = queue.get();
    raw->async([q = std::move(queue), &done]() mutable {
        q.reset();  // destroys the queue on its own worker
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(done);
}
