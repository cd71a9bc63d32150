#include "PlatformAdapters/SamplingCoordinator.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "PlatformAdapters/support/SamplingRig.hpp"

using namespace std::chrono_literals;
using namespace ostrel;
using ostrel::testing::attribution;
using ostrel::testing::SamplingRig;

namespace {

class SamplingCoordinatorTest : public ::testing::Test {
protected:
    // One tick `step` after the previous one, with the given traffic on eth0.
    void tick(std::uint32_t rx = 0, std::uint32_t tx = 0, std::chrono::milliseconds step = 1000ms) {
        rig.traffic(rx, tx);
        rig.advance(step);
        rig.coordinator->collectSampleNow();
    }
    std::int64_t samples() const { return rig.scalar("SELECT COUNT(*) FROM usage_samples"); }
    std::int64_t rxSum() const { return rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"); }
    int batches() {
        rig.mainQueue->pump();
        return rig.batches.load();
    }
    std::size_t routeRuns() const {
        std::size_t runs = 0;
        for (const auto& call : rig.tools->calls()) runs += call.path == SamplingRig::routeTool ? 1 : 0;
        return runs;
    }

    SamplingRig rig;
};

}  // namespace

TEST_F(SamplingCoordinatorTest, IdleTickWritesOnlyTheNetworkAndATrafficTickStoresTheReconciledSplit) {
    rig.provider->set({attribution("A", 300, 0), attribution("B", 100, 0), attribution("C", 0, 0)});
    tick();
    EXPECT_EQ(samples(), 0);
    EXPECT_EQ(rig.provider->calls(), 0);
    EXPECT_EQ(rig.text("SELECT id || ' ' || name FROM networks WHERE is_active = 1"), "iface-eth0 Ethernet");
    EXPECT_EQ(batches(), 0);

    tick(1000, 50);
    ASSERT_EQ(samples(), 3);
    EXPECT_EQ(rig.text("SELECT group_concat(app_id || ':' || rx_bytes || '/' || tx_bytes, ' ') FROM "
                       "(SELECT * FROM usage_samples ORDER BY app_id)"),
              "A:750/38 B:250/12 C:0/0");
    EXPECT_EQ(rig.scalar("SELECT COUNT(DISTINCT timestamp) + COUNT(DISTINCT id) FROM usage_samples"), 1 + 3);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM usage_samples WHERE network_id = 'iface-eth0' AND source = 'nettop' "
                         "AND attribution_confidence = 0.55"),
              3);
    const std::string id = rig.text("SELECT id FROM usage_samples LIMIT 1");
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"))) << id;
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) * 10000 + SUM(tx_bytes) FROM hourly_usage"), 1000 * 10000 + 50);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM applications"), 3);
    EXPECT_EQ(batches(), 1);
}

TEST_F(SamplingCoordinatorTest, WritesAtMostEveryThreeSecondsOrAt240RecordsAndCallsBackAtMostEveryThree) {
    rig.provider->set({attribution("A", 1, 1)});
    tick();
    tick(10, 10);  // the first write comes at once
    tick(10, 10);
    tick(10, 10);
    EXPECT_EQ(samples(), 1);
    EXPECT_EQ(batches(), 1);
    tick(10, 10);  // 3 s after the write
    EXPECT_EQ(samples(), 4);
    EXPECT_EQ(batches(), 2);
    tick(10, 10);
    tick();
    EXPECT_EQ(samples(), 4);
    tick();  // idle ticks still write what waits once 3 s have passed
    EXPECT_EQ(samples(), 5);
    EXPECT_EQ(batches(), 3);

    std::vector<AppUsageAttribution> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(attribution("app" + std::to_string(i), 1, 1));
    rig.provider->set(twelve);
    rig.advance(-5000ms);  // the clock went back: only the size rule writes now
    for (int i = 0; i < 19; ++i) tick(100, 100, 0ms);
    EXPECT_EQ(samples(), 5);  // 228 waiting
    tick(100, 100, 0ms);
    EXPECT_EQ(samples(), 245);
    EXPECT_EQ(batches(), 3);  // written, but the last callback is not 3 s old
    EXPECT_EQ(rxSum(), 50 + 2000);
}

TEST_F(SamplingCoordinatorTest, StopWritesWhatWaitsAtOnceAndNothingWhenEmpty) {
    rig.coordinator->stop();
    EXPECT_EQ(batches(), 0);
    rig.provider->set({attribution("A", 1, 0)});
    tick();
    tick(10, 0);
    tick(20, 0);  // waits
    EXPECT_EQ(samples(), 1);
    rig.advance(400ms);
    rig.coordinator->stop();
    EXPECT_EQ(samples(), 2);
    EXPECT_EQ(rxSum(), 30);
    EXPECT_EQ(batches(), 1);  // the stop write came 1.4 s after the last callback
    rig.coordinator->stop();
    EXPECT_EQ(samples(), 2);
    EXPECT_TRUE(rig.log->lines().empty());
}

TEST_F(SamplingCoordinatorTest, FailedWriteIsLoggedAndItsBatchIsDroppedForGood) {
    rig.provider->set({attribution("A", 1, 0)});
    tick();
    tick(10, 0);
    EXPECT_EQ(batches(), 1);
    rig.execute("CREATE TRIGGER refuse BEFORE INSERT ON usage_samples BEGIN SELECT RAISE(ABORT, 'disk on fire'); END;");
    rig.advance(2000ms);
    tick(20, 0);  // due, fails
    ASSERT_EQ(rig.log->lines().size(), 1u);
    EXPECT_EQ(rig.log->lines()[0], "Failed flushing buffered samples: SQLite step failed: disk on fire");
    EXPECT_EQ(batches(), 1);

    rig.execute("DROP TRIGGER refuse;");
    tick(40, 0);  // the last successful write is 4 s old: written at once, without the lost 20
    EXPECT_EQ(samples(), 2);
    EXPECT_EQ(rxSum(), 50);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM daily_usage"), 50);
    EXPECT_EQ(batches(), 2);
}

TEST_F(SamplingCoordinatorTest, ActiveNetworkIsRewrittenOnChangeAtOnceElseEveryTenSecondsAndRetriedAfterFailure) {
    auto lastSeen = [this] { return rig.text("SELECT last_seen_at FROM networks WHERE is_active = 1"); };
    tick();
    const std::string first = lastSeen();
    for (int i = 0; i < 9; ++i) tick();
    EXPECT_EQ(lastSeen(), first);
    tick();  // 10 s
    EXPECT_NE(lastSeen(), first);

    rig.routeThrough("wlan0");
    rig.wifi->setInterfaces({{"wlan0", std::string("Cafe/Guest 5.0")}});
    tick();  // 1 s after the last write, but a new network
    EXPECT_EQ(rig.text("SELECT group_concat(id) FROM networks WHERE is_active = 1"), "wifi-cafe-guest-5-0");

    rig.execute("CREATE TRIGGER refuse BEFORE UPDATE ON networks BEGIN SELECT RAISE(ABORT, 'locked'); END;");
    rig.routeThrough("eth0");
    rig.wifi->setInterfaces({});
    tick();
    ASSERT_EQ(rig.log->lines().size(), 1u);
    EXPECT_EQ(rig.log->lines()[0], "Failed updating active network: SQLite step failed: locked");
    rig.execute("DROP TRIGGER refuse;");
    tick();  // retried on the next tick
    EXPECT_EQ(rig.text("SELECT group_concat(id) FROM networks WHERE is_active = 1"), "iface-eth0");
}

TEST_F(SamplingCoordinatorTest, ResetBaselineDropsEarlierTrafficAndTheCallbackHoldsTheCoordinatorWeakly) {
    rig.provider->set({attribution("A", 1, 0)});
    tick();
    rig.traffic(500, 0);
    rig.coordinator->resetBaseline();
    tick();  // queued behind the reset, so the next traffic lands after it
    tick(7, 0);
    EXPECT_EQ(rxSum(), 7);

    rig.advance(5000ms);
    tick(9, 0);  // a callback is queued for the main queue ...
    rig.coordinator.reset();
    rig.mainQueue->pump();  // ... and finds the coordinator gone
    EXPECT_EQ(rig.batches.load(), 0);
}

TEST_F(SamplingCoordinatorTest, StartPrimesTheBaselineTicksAfterOneSecondOnOneTimerAndResumesAfterStop) {
    rig.provider->set({attribution("A", 1, 0)});
    rig.traffic(1000, 0);  // before start: never counted
    const auto started = std::chrono::steady_clock::now();
    rig.coordinator->start();
    rig.coordinator->start();
    rig.traffic(5, 0);
    ASSERT_TRUE(rig.mainQueue->pumpUntil([this] { return rig.batches.load() == 1; }, 3s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(rxSum(), 5);
    const auto before = routeRuns();  // every tick runs the route tool once
    std::this_thread::sleep_for(2100ms);
    EXPECT_LE(routeRuns() - before, 3u);  // two timers would tick four times

    rig.coordinator->stop();
    const auto atStop = routeRuns();
    rig.traffic(300, 0);  // while stopped: not counted after the restart
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(routeRuns(), atStop);
    const auto restarted = std::chrono::steady_clock::now();
    rig.coordinator->start();
    rig.traffic(11, 0);
    while (routeRuns() == atStop && std::chrono::steady_clock::now() < restarted + 4s) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - restarted, 1s);
    rig.coordinator->stop();
    EXPECT_EQ(rxSum(), 16);
}
