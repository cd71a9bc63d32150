#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "PlatformAdapters/support/SamplingRig.hpp"

using namespace std::chrono_literals;
using namespace ostrel;
using ostrel::testing::attribution;
using ostrel::testing::SamplingRig;

TEST(SamplingCoordinatorConcurrencyTest, StartStopAndResetFromOtherThreadsWhileTickingKeepTheStoreConsistent) {
    SamplingRig rig;
    rig.provider->set({attribution("A", 3, 1), attribution("B", 1, 1)});
    std::atomic<bool> done{false};
    std::atomic<std::int64_t> produced{0};

    std::thread ticker([&] {
        while (!done) {
            rig.traffic(1000, 100);
            produced += 1000;
            rig.advance(400ms);
            rig.coordinator->collectSampleNow();
        }
    });
    std::vector<std::thread> controllers;
    for (int t = 0; t < 3; ++t) {
        controllers.emplace_back([&, t] {
            std::mt19937 random(static_cast<unsigned>(t));
            while (!done) {
                switch (random() % 4) {
                    case 0: rig.coordinator->start(); break;
                    case 1: rig.coordinator->stop(); break;
                    case 2: rig.coordinator->resetBaseline(); break;
                    default: (void)rig.coordinator->isRunning(); break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
            }
        });
    }
    const auto until = std::chrono::steady_clock::now() + 2500ms;
    while (std::chrono::steady_clock::now() < until) {
        rig.mainQueue->pumpUntil([] { return false; }, 50ms);
    }
    done = true;
    ticker.join();
    for (auto& thread : controllers) thread.join();
    rig.coordinator->stop();
    rig.mainQueue->pump();

    EXPECT_FALSE(rig.coordinator->isRunning());
    EXPECT_TRUE(rig.log->lines().empty());
    const auto raw = rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples");
    EXPECT_GT(raw, 0);
    EXPECT_LE(raw, produced.load());  // a reset may drop traffic, nothing counts twice
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM daily_usage"), raw);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM hourly_usage"), raw);
    EXPECT_GE(rig.batches.load(), 1);
}

TEST(SamplingCoordinatorConcurrencyTest, ReleasingARunningCoordinatorOrStoppingItFromManyThreadsIsSafe) {
    SamplingRig rig;
    rig.provider->set({attribution("A", 1, 0)});
    rig.coordinator->collectSampleNow();
    rig.traffic(10, 0);
    rig.coordinator->collectSampleNow();  // written at once
    for (int i = 0; i < 2; ++i) {
        rig.advance(100ms);
        rig.traffic(10, 0);
        rig.coordinator->collectSampleNow();  // waits
    }
    std::vector<std::thread> stoppers;
    for (int i = 0; i < 4; ++i) stoppers.emplace_back([&] { rig.coordinator->stop(); });
    for (auto& thread : stoppers) thread.join();
    EXPECT_EQ(rig.text("SELECT COUNT(*) || ' ' || SUM(rx_bytes) FROM usage_samples"), "3 30");

    rig.coordinator->start();
    std::this_thread::sleep_for(1100ms);  // a tick may be running: it holds the coordinator until it ends
    rig.coordinator->resetBaseline();
    std::weak_ptr<SamplingCoordinator> weak = rig.coordinator;
    rig.coordinator.reset();
    std::this_thread::sleep_for(1200ms);
    rig.mainQueue->pump();
    EXPECT_TRUE(weak.expired());
}
