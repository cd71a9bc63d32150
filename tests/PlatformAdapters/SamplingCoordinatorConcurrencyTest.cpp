#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "PlatformAdapters/support/SamplingRig.hpp"

using namespace std::chrono_literals;
using ostrel::testing::SamplingRig;
using ostrel::testing::waitUntil;

TEST(SamplingCoordinatorConcurrencyTest, StartStopAndResetFromOtherThreadsWhileTickingKeepTheStoreConsistent) {
    SamplingRig rig;
    rig.attribute({{"A", 3, 1}, {"B", 1, 1}});
    std::atomic<bool> done{false};
    std::atomic<std::int64_t> produced{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int tick = 0; tick < 400; ++tick) {
            rig.traffic(1000, 100);
            produced += 1000;
            rig.advance(400ms);
            rig.coordinator->collectSampleNow();
        }
        done = true;
    });
    for (unsigned t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (std::mt19937 random(t); !done; std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20))) {
                switch (random() % 4) {
                    case 0:
                        rig.coordinator->start();
                        break;
                    case 1:
                        rig.coordinator->stop();
                        break;
                    case 2:
                        rig.coordinator->resetBaseline();
                        break;
                    default:
                        (void)rig.coordinator->isRunning();
                        break;
                }
            }
        });
    }
    EXPECT_TRUE(waitUntil([&] { return rig.mainQueue->pump(), done.load(); }));  // callbacks arrive meanwhile
    for (auto& thread : threads) thread.join();
    rig.coordinator->stop();
    rig.mainQueue->pump();

    EXPECT_FALSE(rig.coordinator->isRunning());
    EXPECT_TRUE(rig.log->lines().empty());
    EXPECT_GE(rig.batches.load(), 1);
    const auto raw = rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples");
    EXPECT_GT(raw, 0);
    EXPECT_LE(raw, produced.load());  // a reset may drop traffic, nothing counts twice
    EXPECT_EQ(rig.text("SELECT (SELECT SUM(rx_bytes) FROM daily_usage) || ' ' || SUM(rx_bytes) FROM hourly_usage"),
              std::to_string(raw) + " " + std::to_string(raw));
}

TEST(SamplingCoordinatorConcurrencyTest, StoppingFromManyThreadsWritesOnceAndARunningCoordinatorCanBeReleased) {
    SamplingRig rig;
    rig.attribute({{"A", 1, 0}});
    rig.coordinator->stop();  // nothing waits: no callback
    EXPECT_EQ(rig.mainQueue->pump(), 0u);
    for (int i = 0; i < 4; ++i) {
        rig.advance(100ms);
        rig.traffic(i == 0 ? 0 : 10, 0);
        rig.coordinator->collectSampleNow();  // the first traffic is written at once, the rest waits
    }
    std::vector<std::thread> stoppers;
    for (int i = 0; i < 4; ++i) stoppers.emplace_back([&] { rig.coordinator->stop(); });
    for (auto& thread : stoppers) thread.join();
    EXPECT_EQ(rig.text("SELECT COUNT(*) || ' ' || SUM(rx_bytes) FROM usage_samples"), "3 30");
    rig.mainQueue->pump();
    EXPECT_EQ(rig.batches.load(), 1);  // the stop write came 0.2 s after the last callback
    EXPECT_TRUE(rig.log->lines().empty());

    const int lookups = rig.route->lookups();  // one per tick
    rig.coordinator->start();
    EXPECT_TRUE(waitUntil([&] { return rig.route->lookups() > lookups; }));  // the timer runs
    rig.coordinator->resetBaseline();
    std::weak_ptr<ostrel::SamplingCoordinator> weak = rig.coordinator;
    rig.coordinator.reset();  // a tick may be running: it holds the coordinator until it ends
    EXPECT_TRUE(waitUntil([&] { return rig.mainQueue->pump(), weak.expired(); }));
}
