#include <gtest/gtest.h>

#include <atomic>
#include <future>
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
        std::promise<SerialQueue::Clock::duration> last;
        const auto start = SerialQueue::Clock::now();
        queue.asyncAfter(60ms, [&] { order.push_back(2), last.set_value(SerialQueue::Clock::now() - start); });
        queue.asyncAfter(20ms, [&] { order.push_back(1); });
        queue.async([&] { order.push_back(0); });
        EXPECT_GE(last.get_future().get(), 60ms);  // never early
        EXPECT_EQ(queue.sync([&] { return order; }), (std::vector<int>{0, 1, 2}));

        queue.async([&] { std::this_thread::sleep_for(20ms), ++ran; });  // still busy at destruction
        queue.async([&] { ++ran; });
        queue.asyncAfter(10s, [&] { ran += 100; });
    }
    EXPECT_EQ(ran.load(), 2);
}

TEST(SerialQueueTest, LastOwnerReleasedFromInsideATaskDoesNotDeadlock) {
    auto queue = std::make_shared<SerialQueue>("ostrel.test.queue");
    std::promise<void> done;
    auto* raw = queue.get();
    raw->async([q = std::move(queue), &done]() mutable {
        q.reset();  // destroys the queue on its own worker
        done.set_value();
    });
    EXPECT_EQ(done.get_future().wait_for(60s), std::future_status::ready);
}
