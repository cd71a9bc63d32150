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
    // One tick one second after the previous one.
    void tick() {
        rig.advance(1000ms);
        rig.coordinator->collectSampleNow();
    }
    std::size_t routeRuns() const {
        std::size_t runs = 0;
        for (const auto& call : rig.tools->calls()) runs += call.path == SamplingRig::routeTool ? 1 : 0;
        return runs;
    }
    std::int64_t samples() const { return rig.scalar("SELECT COUNT(*) FROM usage_samples"); }
    int batches() {
        rig.mainQueue->pump();
        return rig.batches.load();
    }

    SamplingRig rig;
};

}  // namespace

TEST_F(SamplingCoordinatorTest, IdleTickWritesTheActiveNetworkButNoRecordsAndAsksNoAttribution) {
    tick();
    EXPECT_EQ(samples(), 0);
    EXPECT_EQ(rig.provider->calls(), 0);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM networks WHERE is_active = 1 AND id = 'iface-eth0'"), 1);
    EXPECT_EQ(rig.text("SELECT name FROM networks"), "Ethernet");
    EXPECT_EQ(batches(), 0);
}

TEST_F(SamplingCoordinatorTest, TickRecordsCarryTheReconciledSplitTheNetworkAndOneTimestamp) {
    rig.provider->set({attribution("A", 300, 0), attribution("B", 100, 0), attribution("C", 0, 0)});
    tick();  // baseline tick
    rig.traffic(1000, 50);
    tick();
    ASSERT_EQ(samples(), 3);
    EXPECT_EQ(rig.scalar("SELECT rx_bytes * 1000 + tx_bytes FROM usage_samples WHERE app_id = 'A'"), 750 * 1000 + 38);
    EXPECT_EQ(rig.scalar("SELECT rx_bytes * 1000 + tx_bytes FROM usage_samples WHERE app_id = 'B'"), 250 * 1000 + 12);
    EXPECT_EQ(rig.scalar("SELECT rx_bytes + tx_bytes FROM usage_samples WHERE app_id = 'C'"), 0);
    EXPECT_EQ(rig.scalar("SELECT COUNT(DISTINCT timestamp) FROM usage_samples"), 1);
    EXPECT_EQ(rig.scalar("SELECT COUNT(DISTINCT id) FROM usage_samples"), 3);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM usage_samples WHERE network_id = 'iface-eth0' AND source = 'nettop' "
                         "AND attribution_confidence = 0.55"),
              3);
    const std::string id = rig.text("SELECT id FROM usage_samples LIMIT 1");
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"))) << id;
    // Roll-ups agree with the raw rows, and the interface totals are met exactly.
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 1000);
    EXPECT_EQ(rig.scalar("SELECT SUM(tx_bytes) FROM usage_samples"), 50);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) * 10000 + SUM(tx_bytes) FROM daily_usage"), 1000 * 10000 + 50);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) * 10000 + SUM(tx_bytes) FROM hourly_usage"), 1000 * 10000 + 50);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM applications"), 3);
    EXPECT_EQ(batches(), 1);
}

TEST_F(SamplingCoordinatorTest, WritesAtMostEveryThreeSecondsAndTheBatchCallbackFollowsOnlySuccessfulWrites) {
    rig.provider->set({attribution("A", 1, 1)});
    tick();
    rig.traffic(10, 10);
    tick();  // t=0 relative: first write at once
    EXPECT_EQ(samples(), 1);
    EXPECT_EQ(batches(), 1);
    for (int second = 1; second <= 2; ++second) {
        rig.traffic(10, 10);
        tick();
        EXPECT_EQ(samples(), 1) << "second " << second;
    }
    rig.traffic(10, 10);
    tick();  // 3 s after the write
    EXPECT_EQ(samples(), 4);
    EXPECT_EQ(batches(), 2);
    // Idle ticks still write what was buffered once 3 seconds have passed.
    rig.traffic(10, 10);
    tick();
    tick();
    EXPECT_EQ(samples(), 4);
    tick();
    EXPECT_EQ(samples(), 5);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 50);
    EXPECT_EQ(batches(), 3);
}

TEST_F(SamplingCoordinatorTest, BatchCallbackIsSpacedThreeSecondsEvenWhenWritesComeFaster) {
    std::vector<AppUsageAttribution> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back(attribution("app" + std::to_string(i), 1, 1));
    rig.provider->set(twelve);
    tick();
    rig.traffic(100, 100);
    tick();  // written at once, callback 1
    EXPECT_EQ(batches(), 1);
    // The clock stands still (or goes back): only the 240-record rule writes now.
    rig.advance(-5000ms);
    for (int i = 0; i < 19; ++i) {
        rig.traffic(100, 100);
        rig.coordinator->collectSampleNow();
    }
    EXPECT_EQ(samples(), 12);  // 228 buffered
    rig.traffic(100, 100);
    rig.coordinator->collectSampleNow();  // 240 buffered: written despite the time
    EXPECT_EQ(samples(), 252);
    EXPECT_EQ(batches(), 1);  // written, but within 3 s of the last callback
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 2100);
}

TEST_F(SamplingCoordinatorTest, StopWritesWhatIsBufferedAtTheCurrentTimeAndNothingWhenEmpty) {
    rig.coordinator->stop();
    EXPECT_EQ(batches(), 0);
    EXPECT_TRUE(rig.log->lines().empty());

    rig.provider->set({attribution("A", 1, 0)});
    tick();
    rig.traffic(10, 0);
    tick();
    rig.traffic(20, 0);
    tick();  // buffered for less than 3 s
    EXPECT_EQ(samples(), 1);
    rig.advance(400ms);
    rig.coordinator->stop();
    EXPECT_EQ(samples(), 2);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 30);
    EXPECT_EQ(batches(), 1);  // the stop write came 1.4 s after the last callback
    rig.coordinator->stop();  // nothing left
    EXPECT_EQ(samples(), 2);
}

TEST_F(SamplingCoordinatorTest, FailedWriteIsLoggedAndItsBatchIsDroppedForGood) {
    rig.provider->set({attribution("A", 1, 0)});
    tick();
    rig.traffic(10, 0);
    tick();
    EXPECT_EQ(samples(), 1);
    EXPECT_EQ(batches(), 1);

    rig.execute("CREATE TRIGGER refuse BEFORE INSERT ON usage_samples BEGIN SELECT RAISE(ABORT, 'disk on fire'); END;");
    rig.advance(3000ms);
    rig.traffic(20, 0);
    rig.coordinator->collectSampleNow();  // due, fails
    ASSERT_EQ(rig.log->lines().size(), 1u);
    EXPECT_EQ(rig.log->lines()[0].rfind("Failed flushing buffered samples: ", 0), 0u) << rig.log->lines()[0];
    EXPECT_NE(rig.log->lines()[0].find("disk on fire"), std::string::npos);
    EXPECT_EQ(batches(), 1);

    rig.execute("DROP TRIGGER refuse;");
    rig.traffic(40, 0);
    tick();  // the last successful write is 4 s old: written at once, without the lost 20
    EXPECT_EQ(samples(), 2);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 50);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM daily_usage"), 50);
    EXPECT_EQ(batches(), 2);
}

TEST_F(SamplingCoordinatorTest, ActiveNetworkIsRewrittenOnChangeAtOnceElseEveryTenSecondsAndRetriedAfterFailure) {
    auto lastSeen = [this] { return rig.text("SELECT last_seen_at FROM networks WHERE is_active = 1"); };
    tick();
    const std::string first = lastSeen();
    for (int i = 0; i < 9; ++i) tick();
    EXPECT_EQ(lastSeen(), first);  // 9 s: unchanged
    tick();
    const std::string tenth = lastSeen();
    EXPECT_NE(tenth, first);  // 10 s

    rig.routeThrough("wlan0");
    rig.wifi->setInterfaces({{"wlan0", std::string("Cafe/Guest 5.0")}});
    tick();  // 1 s after the last write, but a new network
    EXPECT_EQ(rig.text("SELECT id FROM networks WHERE is_active = 1"), "wifi-cafe-guest-5-0");
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM networks WHERE is_active = 1"), 1);

    rig.execute("CREATE TRIGGER refuse BEFORE UPDATE ON networks BEGIN SELECT RAISE(ABORT, 'locked'); END;");
    rig.routeThrough("eth0");
    rig.wifi->setInterfaces({});
    tick();
    ASSERT_EQ(rig.log->lines().size(), 1u);
    EXPECT_EQ(rig.log->lines()[0].rfind("Failed updating active network: ", 0), 0u) << rig.log->lines()[0];
    EXPECT_EQ(rig.text("SELECT id FROM networks WHERE is_active = 1"), "wifi-cafe-guest-5-0");
    rig.execute("DROP TRIGGER refuse;");
    tick();  // retried on the next tick
    EXPECT_EQ(rig.text("SELECT id FROM networks WHERE is_active = 1"), "iface-eth0");
    EXPECT_EQ(rig.log->lines().size(), 1u);
}

TEST_F(SamplingCoordinatorTest, ResetBaselineDropsTrafficBeforeItAndTheCallbackHoldsTheCoordinatorWeakly) {
    rig.provider->set({attribution("A", 1, 0)});
    tick();
    rig.traffic(500, 0);
    rig.coordinator->resetBaseline();
    (void)rig.coordinator->isRunning();  // runs on the queue: the reset has happened
    rig.traffic(7, 0);
    tick();
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 7);

    // A callback queued for the main queue finds the coordinator gone: nothing runs.
    rig.advance(5000ms);
    rig.traffic(9, 0);
    rig.coordinator->collectSampleNow();
    rig.coordinator.reset();
    rig.mainQueue->pump();
    EXPECT_EQ(rig.batches.load(), 0);
}

TEST_F(SamplingCoordinatorTest, StartPrimesTheBaselineTicksAfterOneSecondAndStopThenStartResumes) {
    rig.provider->set({attribution("A", 1, 0)});
    rig.traffic(1000, 0);  // before start: never counted
    const auto started = std::chrono::steady_clock::now();
    rig.coordinator->start();
    rig.coordinator->start();  // one timer only
    EXPECT_TRUE(rig.coordinator->isRunning());
    rig.traffic(5, 0);
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(samples(), 0);  // no tick before 1 s
    ASSERT_TRUE(rig.mainQueue->pumpUntil([this] { return rig.batches.load() == 1; }, 3s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 5);
    // Two timers would tick twice a second: every tick runs the route tool once.
    const auto callsBefore = routeRuns();
    std::this_thread::sleep_for(2100ms);
    const auto ticks = routeRuns() - callsBefore;
    EXPECT_GE(ticks, 1u);
    EXPECT_LE(ticks, 3u);

    rig.coordinator->stop();
    EXPECT_FALSE(rig.coordinator->isRunning());
    const auto callsAtStop = routeRuns();
    rig.traffic(300, 0);  // while stopped: not counted after the restart
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(routeRuns(), callsAtStop);
    const auto restarted = std::chrono::steady_clock::now();
    rig.coordinator->start();
    rig.traffic(11, 0);
    const auto deadline = restarted + 4s;
    while (routeRuns() == callsAtStop && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - restarted, 1s);
    rig.coordinator->stop();
    EXPECT_GT(routeRuns(), callsAtStop);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM usage_samples"), 16);
}
