#include "Platform/MainQueue.hpp"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

TEST(PumpableMainQueueTest, RunsNothingUntilPumpedThenRunsWorkQueuedByWork) {
    ostrel::PumpableMainQueue main;
    int value = 0;
    main.async([&] {
        value += 1;
        main.async([&] { value += 10; });
    });
    EXPECT_EQ(value, 0);
    EXPECT_EQ(main.pump(), 2u);
    EXPECT_EQ(value, 11);
    EXPECT_EQ(main.pump(), 0u);
}

TEST(PumpableMainQueueTest, PumpUntilWaitsForWorkFromOtherThreadsAndTimesOut) {
    ostrel::PumpableMainQueue main;
    bool delivered = false;
    std::thread producer([&] {
        std::this_thread::sleep_for(30ms);
        main.async([&] { delivered = true; });
    });
    EXPECT_TRUE(main.pumpUntil([&] { return delivered; }, 2s));
    producer.join();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(main.pumpUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}
