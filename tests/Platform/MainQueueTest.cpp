#include <gtest/gtest.h>

#include <thread>

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

    std::thread producer([&] { std::this_thread::sleep_for(30ms), main.async([&] { value = 0; }); });
    EXPECT_TRUE(main.pumpUntil([&] { return value == 0; }, 2s));
    producer.join();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(main.pumpUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}
