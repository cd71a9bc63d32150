#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Platform/MainQueue.hpp"

using namespace std::chrono_literals;

TEST(PumpableMainQueueTest, RunsNothingUntilPumpedThenWorkQueuedByWorkAndWaitsForWorkFromOtherThreads) {
    ostrel::PumpableMainQueue main;
    int value = 0;
    main.async([&] { value += 1, main.async([&] { value += 10; }); });
    EXPECT_EQ(value, 0);
    EXPECT_EQ(main.pump(), 2u);
    EXPECT_EQ(value, 11);
    EXPECT_EQ(main.pump(), 0u);

    // The work is posted once the pump has looked and found nothing to do.
    std::atomic<bool> looked{false};
    std::thread producer([&] {
        while (!looked) std::this_thread::yield();
        main.async([&] { value = 0; });
    });
    EXPECT_TRUE(main.pumpUntil([&] { return looked = true, value == 0; }, 60s));
    producer.join();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(main.pumpUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(PumpableMainQueueTest, DelayedTasksRunOnlyWhenTheVirtualClockReachesThemInTimeThenQueueOrder) {
    ostrel::PumpableMainQueue main;
    std::vector<std::string> ran;
    const auto note = [&](std::string name) { ran.push_back(name + std::to_string(main.now().count())); };
    main.asyncAfter(20ms, [&] { note("b"); });
    main.asyncAfter(10ms,
                    [&] { note("a"), main.async([&] { note("a'"); }), main.asyncAfter(10ms, [&] { note("c"); }); });
    main.asyncAfter(20ms, [&] { note("b'"); });
    main.asyncAfter(0ms, [&] { note("now"); });
    EXPECT_EQ(main.pump(), 1u);
    EXPECT_EQ(main.advance(9ms), 0u);
    EXPECT_EQ(main.advance(11ms), 5u);
    EXPECT_EQ(ran, (std::vector<std::string>{"now0", "a10", "a'10", "b20", "b'20", "c20"}));
    EXPECT_EQ(main.advance(1h), 0u);
}
