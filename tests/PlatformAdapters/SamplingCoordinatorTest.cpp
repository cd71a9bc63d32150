#include <gtest/gtest.h>
#include <sys/socket.h>

#include "Platform/support/TempTree.hpp"
#include "Platform/support/ToolStateFolders.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"
#include "PlatformAdapters/support/SamplingRig.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

using namespace std::chrono_literals;
using namespace ostrel;
using namespace ostrel::testing;

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
    int routeLookups() const { return rig.route->lookups(); }  // one per tick

    SamplingRig rig;
};

}  // namespace

TEST_F(SamplingCoordinatorTest, AnIdleTickWritesOnlyTheNetworkAndATrafficTickTheReconciledSplit) {
    rig.attribute({{"A", 300, 0}, {"B", 100, 0}, {"C", 0, 0}});
    tick();
    EXPECT_EQ(samples(), 0);
    EXPECT_EQ(batches(), 0);
    EXPECT_EQ(rig.text("SELECT id || ' ' || name FROM networks WHERE is_active = 1"), "iface-eth0 Ethernet");

    tick(1000, 50);
    EXPECT_EQ(rig.text("SELECT group_concat(app_id || ':' || rx_bytes || '/' || tx_bytes, ' ') FROM "
                       "(SELECT * FROM usage_samples ORDER BY app_id)"),
              "A:750/38 B:250/12 C:0/0");
    EXPECT_EQ(rig.text("SELECT COUNT(DISTINCT timestamp) || ' ' || COUNT(*) FROM usage_samples WHERE network_id = "
                       "'iface-eth0' AND source = 'nettop' AND attribution_confidence = 0.55"),
              "1 3");
    EXPECT_EQ(rig.text("SELECT SUM(rx_bytes) || '/' || SUM(tx_bytes) || ' ' || (SELECT COUNT(*) FROM applications) "
                       "FROM hourly_usage"),
              "1000/50 3");
    EXPECT_EQ(batches(), 1);
}

TEST_F(SamplingCoordinatorTest, WritesAtMostEveryThreeSecondsOrAt240RecordsAndCallsBackAtMostEveryThree) {
    rig.attribute({{"A", 1, 1}});
    // Each tick's traffic, then the samples stored and the callbacks made by then: the first write
    // comes at once, the next 3 s after it, and idle ticks still write what waits.
    const std::tuple<std::uint32_t, int, int> ticks[] = {{0, 0, 0},  {10, 1, 1}, {10, 1, 1}, {10, 1, 1},
                                                         {10, 4, 2}, {10, 4, 2}, {0, 4, 2},  {0, 5, 3}};
    for (const auto& [traffic, stored, called] : ticks) {
        tick(traffic, traffic);
        EXPECT_EQ(samples(), stored);
        EXPECT_EQ(batches(), called);
    }

    std::vector<SamplingRig::Share> twelve;
    for (int i = 0; i < 12; ++i) twelve.push_back({"app" + std::to_string(i), 1, 1});
    rig.attribute(twelve);
    rig.setWallClock(-5000ms);  // and ticks come with no time passing: only the size rule writes now
    for (int i = 0; i < 19; ++i) tick(100, 100, 0ms);
    EXPECT_EQ(samples(), 5);  // 228 waiting
    tick(100, 100, 0ms);
    EXPECT_EQ(samples(), 245);
    EXPECT_EQ(batches(), 3);  // written, but the last callback is not 3 s old
    EXPECT_EQ(rxSum(), 50 + 2000);
}

// Intervals are measured on the monotonic clock; what is stored carries the wall clock.
TEST_F(SamplingCoordinatorTest, WallClockSetBackOrForwardNeitherStallsNorHurriesWritesNetworkRowsOrCallbacks) {
    auto lastSeen = [this] { return rig.text("SELECT last_seen_at FROM networks WHERE is_active = 1"); };
    rig.attribute({{"A", 1, 0}});
    tick();       // the network row
    tick(10, 0);  // written at once
    const std::string beforeJump = rig.text("SELECT MAX(timestamp) FROM usage_samples");
    ASSERT_EQ(batches(), 1);

    rig.setWallClock(-1h);
    tick(20, 0);
    tick(30, 0);
    EXPECT_EQ(samples(), 1);
    tick(40, 0);  // 3 s after the last write
    EXPECT_EQ(samples(), 4);
    EXPECT_EQ(rxSum(), 100);
    EXPECT_EQ(batches(), 2);
    EXPECT_EQ(rig.scalar("SELECT COUNT(*) FROM usage_samples WHERE timestamp < '" + beforeJump + "'"), 3);
    EXPECT_EQ(rig.scalar("SELECT SUM(rx_bytes) FROM hourly_usage"), 100);
    const std::string seenBefore = lastSeen();
    for (int i = 0; i < 6; ++i) tick();
    // Rewritten 10 s after the last network write, stamped an hour back.
    EXPECT_GT(lastSeen(), seenBefore);
    EXPECT_LT(lastSeen(), beforeJump);

    // Forward: nothing is written early.
    tick(50, 0);  // 7 s after the last write: written
    tick(60, 0);
    rig.setWallClock(2h);
    tick(70, 0);
    EXPECT_EQ(samples(), 5);
    EXPECT_EQ(batches(), 3);
    EXPECT_LT(lastSeen(), beforeJump);  // the network row is not rewritten early either
    rig.coordinator->stop();            // forced, stamped with the wall clock
    EXPECT_EQ(samples(), 7);
    EXPECT_GT(rig.text("SELECT MAX(timestamp) FROM usage_samples"), beforeJump);
    EXPECT_EQ(batches(), 3);
}

TEST_F(SamplingCoordinatorTest, FailedWriteIsLoggedAndItsBatchIsDroppedForGood) {
    rig.attribute({{"A", 1, 0}});
    tick();
    tick(10, 0);
    rig.probe->execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON usage_samples BEGIN SELECT RAISE(ABORT, 'disk on fire'); END;");
    rig.advance(2000ms);
    tick(20, 0);  // due, fails
    EXPECT_EQ(rig.log->lines(),
              std::vector<std::string>{"Failed flushing buffered samples: SQLite step failed: disk on fire"});
    EXPECT_EQ(batches(), 1);

    rig.probe->execute("DROP TRIGGER refuse;");
    tick(40, 0);  // the last successful write is 4 s old: written at once, without the lost 20
    EXPECT_EQ(rig.text("SELECT COUNT(*) || ' ' || SUM(rx_bytes) || ' ' || (SELECT SUM(rx_bytes) FROM daily_usage) FROM "
                       "usage_samples"),
              "2 50 50");
    EXPECT_EQ(batches(), 2);
}

TEST_F(SamplingCoordinatorTest, ActiveNetworkIsRewrittenOnChangeAtOnceElseEveryTenSecondsAndRetriedAfterFailure) {
    auto lastSeen = [this] { return rig.text("SELECT last_seen_at FROM networks WHERE is_active = 1"); };
    auto active = [this] { return rig.text("SELECT group_concat(id) FROM networks WHERE is_active = 1"); };
    tick();
    const std::string first = lastSeen();
    for (int i = 0; i < 9; ++i) tick();
    EXPECT_EQ(lastSeen(), first);
    tick();  // 10 s
    EXPECT_NE(lastSeen(), first);

    rig.routeThrough("wlan0");
    rig.wifi->setInterfaces({{"wlan0", std::string("Cafe/Guest 5.0")}});
    tick();  // 1 s after the last write, but a new network
    EXPECT_EQ(active(), "wifi-cafe-guest-5-0");

    rig.probe->execute("CREATE TRIGGER refuse BEFORE UPDATE ON networks BEGIN SELECT RAISE(ABORT, 'locked'); END;");
    rig.routeThrough("eth0");
    rig.wifi->setInterfaces({});
    tick();
    EXPECT_EQ(rig.log->lines(), std::vector<std::string>{"Failed updating active network: SQLite step failed: locked"});
    rig.probe->execute("DROP TRIGGER refuse;");
    tick();  // retried on the next tick
    EXPECT_EQ(active(), "iface-eth0");
}

// The screens hear at once of a tick that changes the active network the store holds, with or
// without traffic, and not of the periodic rewrite of the same network.
TEST_F(SamplingCoordinatorTest, AChangeOfTheStoredActiveNetworkIsToldAtOnceAlsoWithoutTraffic) {
    const auto changes = [this] {
        rig.mainQueue->pump();
        return rig.networkChanges.load();
    };
    tick();  // none stored yet
    EXPECT_EQ(changes(), 1);
    for (int i = 0; i < 12; ++i) tick();  // rewritten at 10 s, the same
    tick(500, 0);
    EXPECT_EQ(changes(), 1);
    EXPECT_EQ(batches(), 1);

    rig.routeThrough("wlan0");
    rig.wifi->setInterfaces({{"wlan0", std::string("Cafe")}});
    tick();  // quiet, a second after the last write
    EXPECT_EQ(changes(), 2);

    // Deleted by another program: stored again at the next rewrite, and told.
    rig.probe->execute("DELETE FROM networks WHERE is_active = 1;");
    for (int i = 0; i < 9; ++i) tick();
    EXPECT_EQ(changes(), 2);
    tick();
    EXPECT_EQ(changes(), 3);

    // A failed write tells nothing; its retry does.
    rig.probe->execute("CREATE TRIGGER refuse BEFORE UPDATE ON networks BEGIN SELECT RAISE(ABORT, 'locked'); END;");
    rig.routeThrough("eth0");
    rig.wifi->setInterfaces({});
    tick();
    EXPECT_EQ(changes(), 3);
    rig.probe->execute("DROP TRIGGER refuse;");
    tick();
    EXPECT_EQ(changes(), 4);
    EXPECT_EQ(batches(), 1);
}

TEST_F(SamplingCoordinatorTest, AStartOnTheNetworkTheStoreAlreadyNamesTellsNobody) {
    // As the last run left it.
    const NetworkIdentity ethernet = NetworkIdentityResolver(rig.wifi, rig.tools, ToolPaths::inLibexec("/test/libexec"))
                                         .resolveActiveNetwork("eth0");
    OstrelRepository(std::make_unique<SQLiteDatabase>(rig.folder + "/ostrel.sqlite"))
        .setActiveNetwork(ethernet, rig.now());
    tick();
    tick();
    rig.mainQueue->pump();
    EXPECT_EQ(rig.text("SELECT id FROM networks WHERE is_active = 1"), "iface-eth0");
    EXPECT_EQ(rig.networkChanges.load(), 0);
}

TEST_F(SamplingCoordinatorTest, ResetBaselineDropsEarlierTrafficAndTheCallbackHoldsTheCoordinatorWeakly) {
    rig.attribute({{"A", 1, 0}});
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

// Each check waits for the tick that must come; a second start that primed the baseline again, a
// stop that left the timer, or a restart that kept the old baseline would each change the sums.
TEST_F(SamplingCoordinatorTest, StartPrimesTheBaselineOnceTicksAfterOneSecondAndResumesAfterStop) {
    rig.attribute({{"A", 1, 0}});
    rig.traffic(1000, 0);  // before start: never counted
    const auto started = std::chrono::steady_clock::now();
    rig.coordinator->start();
    rig.traffic(7, 0);
    rig.coordinator->start();  // running already: nothing changes
    ASSERT_TRUE(rig.mainQueue->pumpUntil([this] { return rig.batches.load() == 1; }, 60s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);  // never early
    EXPECT_EQ(rxSum(), 7);

    rig.coordinator->stop();
    EXPECT_FALSE(rig.coordinator->isRunning());
    rig.traffic(300, 0);  // while stopped: not counted after the restart
    rig.advance(5000ms);  // the next tick with traffic writes and calls back at once
    rig.coordinator->start();
    rig.traffic(11, 0);
    ASSERT_TRUE(rig.mainQueue->pumpUntil([this] { return rig.batches.load() == 2; }, 60s));
    rig.coordinator->stop();
    EXPECT_EQ(rxSum(), 18);
}

// Known traffic across a veth pair, sampled by the real adapter, route lookup and per-process tool.
TEST(SamplingCoordinatorKernelTest, KnownTrafficEndsUpInSamplesAndRollUpsSplitExactlyAmongApplications) {
    VethPair pair;
    if (!pair.whyNot.empty()) GTEST_SKIP() << pair.whyNot;
    ASSERT_TRUE(pair.ip(pair.near, "route add default via 10.231.0.2 dev ostv0"));
    // The per-process tool keeps its state (and its listener) with the test, not with the user.
    const ToolStateFolders state;
    // Built inside the namespace: the sampling thread and every tool it starts stay there.
    std::optional<SamplingRig> rig;
    {
        NetnsScope inNear(pair.near);
        rig.emplace(true);
    }
    // Open for the test's life, so the per-process tool names this program as the receiver.
    const auto stream = pair.tcpStream(40808);
    const auto transfer = [&](std::size_t bytes) {
        std::vector<char> chunk(16384, 't');
        for (std::size_t moved = 0; moved < bytes; moved += chunk.size()) {
            ASSERT_EQ(::send(stream.first.get(), chunk.data(), chunk.size(), 0), 16384);
            ASSERT_EQ(::recv(stream.second.get(), chunk.data(), chunk.size(), MSG_WAITALL), 16384);
        }
    };
    const auto before = pair.nearCounters();
    rig->coordinator->start();
    pair.sendUdp(true, 300, 1200);
    pair.sendUdp(false, 40, 100);
    transfer(3'000'000);
    // A tick of the timer takes it and, as the first with traffic, writes it at once.
    ASSERT_TRUE(rig->mainQueue->pumpUntil([&] { return rig->batches.load() >= 1; }, 60s));
    pair.sendUdp(true, 100, 500);
    transfer(1'000'000);
    // The last sample is taken while the counters stand still (a delayed acknowledgement may
    // still go out), so that it has seen everything they count.
    auto after = pair.nearCounters();
    for (auto ahead = std::pair<std::int64_t, std::int64_t>(-1, -1); ahead != after;) {
        ahead = after;
        rig->coordinator->collectSampleNow();
        after = pair.nearCounters();
    }
    rig->coordinator->stop();
    // Exactly what the kernel counted on ostv0 while sampling ran (32-bit counters, far from
    // wrapping here).
    const std::int64_t received = after.first - before.first, sent = after.second - before.second;
    EXPECT_GE(received, 300 * 1242 + 100 * 542 + 4'000'000);
    EXPECT_GE(sent, 40 * 142);
    for (const char* table : {"usage_samples", "daily_usage", "hourly_usage"}) {
        EXPECT_EQ(rig->text(std::string("SELECT SUM(rx_bytes) || ' ' || SUM(tx_bytes) FROM ") + table),
                  std::to_string(received) + " " + std::to_string(sent))
            << table;
    }
    // The per-process tool names this program, so the split is a real one, not only the fallback.
    EXPECT_EQ(rig->scalar("SELECT COUNT(*) FROM usage_samples WHERE source NOT IN ('nettop', 'fallback') OR "
                          "network_id <> 'iface-ostv0'"),
              0);
    EXPECT_GT(rig->scalar("SELECT COUNT(*) FROM usage_samples WHERE source = 'nettop'"), 0);
    EXPECT_GE(rig->scalar("SELECT COUNT(DISTINCT timestamp) FROM usage_samples"), 2);
    EXPECT_EQ(rig->text("SELECT id FROM networks WHERE is_active = 1"), "iface-ostv0");
    EXPECT_TRUE(rig->log->lines().empty()) << rig->log->lines().front();
}
