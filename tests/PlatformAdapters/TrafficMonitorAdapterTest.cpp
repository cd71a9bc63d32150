#include <gtest/gtest.h>

#include "Platform/FakeDefaultRouteLookup.hpp"
#include "Platform/NetlinkDefaultRouteLookup.hpp"
#include "PlatformAdapters/TrafficMonitorAdapter.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

using namespace ostrel;
using Deltas = std::vector<ostrel::InterfaceTrafficDelta>;

namespace {

constexpr std::uint32_t kTop = 4294967295u;

class TrafficMonitorAdapterTest : public ::testing::Test {
protected:
    TrafficMonitorAdapterTest() {
        auto source = std::make_unique<FakeInterfaceCounterSource>();
        auto lookup = std::make_unique<FakeDefaultRouteLookup>();
        counters = source.get();
        route = lookup.get();
        adapter = std::make_unique<TrafficMonitorAdapter>(std::move(source), std::move(lookup), [this] {
            lookupsAtClock = route->lookups();
            return Date{std::chrono::seconds(1000 + ++clockReads)};
        });
    }

    FakeInterfaceCounterSource* counters = nullptr;
    FakeDefaultRouteLookup* route = nullptr;
    int clockReads = 0, lookupsAtClock = -1;
    std::unique_ptr<TrafficMonitorAdapter> adapter;
};

}  // namespace

TEST_F(TrafficMonitorAdapterTest, DeltasCrossTheThirtyTwoBitWrapAndNewOrIdleInterfacesAreLeftOut) {
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(kTop - 295, 100), kTop - 395);  // no wrap
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(5, 4294967296ULL), 0u);         // backwards from above the limit
    counters->set({{"eth0", kTop - 295, 100}, {"eth1", 0, 0}});
    EXPECT_TRUE(adapter->sample().deltas.empty());  // empty baseline: everything is new
    counters->set({{"eth0", 100, 100}, {"eth1", 0, 0}, {"wlan0", 7, 7}});
    EXPECT_EQ(adapter->sample().deltas, (Deltas{{"eth0", 396, 0}}));
    counters->set({{"eth0", 100, 101}, {"eth1", 0, 0}, {"wlan0", 10, 17}});
    const auto snapshot = adapter->sample();
    EXPECT_EQ(snapshot.deltas, (Deltas{{"eth0", 0, 1}, {"wlan0", 3, 10}}));
    EXPECT_EQ(snapshot.totalRxBytes * 100 + snapshot.totalTxBytes, 3 * 100 + 11);
}

TEST_F(TrafficMonitorAdapterTest, SkipsLoopbackAppleAndLinuxVirtualInterfacesButKeepsThemInTheBaseline) {
    std::vector<LinkCounters> first{{"wlp2s0", 10, 10}}, second{{"wlp2s0", 20, 30}};
    for (const char* name :
         {"lo", "lo1", "awdl0", "llw0", "anpi0", "veth1a2b", "docker0", "br-5f1c", "virbr0", "tun0", "tap3", "wg0"}) {
        first.push_back({name, 10, 10});
        second.push_back({name, 5000, 5000});
    }
    counters->set(first);
    adapter->sample();
    counters->set(second);
    EXPECT_EQ(adapter->sample().deltas, (Deltas{{"wlp2s0", 10, 20}}));
    EXPECT_EQ(adapter->previousCounters().size(), second.size());
}

TEST_F(TrafficMonitorAdapterTest, BaselineBecomesTheWholeReadingAndAFailedReadEmptiesIt) {
    counters->set({{"eth0", 100, 100}, {"wlan0", 5, 5}, {"eth0", 300, 400}});  // a later entry wins
    EXPECT_EQ(adapter->readInterfaceCounters(), (InterfaceCounters{{"eth0", {300, 400}}, {"wlan0", {5, 5}}}));
    adapter->sample();
    counters->set({{"eth0", 350, 400}});
    adapter->sample();
    EXPECT_EQ(adapter->previousCounters(), (InterfaceCounters{{"eth0", {350, 400}}}));  // wlan0 forgotten
    counters->set({});                                                                  // the read failed
    EXPECT_TRUE(adapter->sample().deltas.empty());
    counters->set({{"eth0", 900, 900}});
    EXPECT_TRUE(adapter->sample().deltas.empty());  // every interface is new again
    counters->set({{"eth0", 901, 900}});
    EXPECT_EQ(adapter->sample().totalRxBytes, 1);
}

TEST_F(TrafficMonitorAdapterTest, PrimaryInterfaceComesFromTheRouteLookupElseTheLargestMover) {
    counters->set({{"eth0", 0, 0}, {"eth1", 0, 0}, {"wlan0", 0, 0}});
    adapter->sample();
    counters->set({{"eth0", 50, 50}, {"eth1", 100, 0}, {"wlan0", 99, 0}});
    EXPECT_EQ(adapter->sample().primaryInterface, "eth0");        // tie at 100: first in the list
    EXPECT_EQ(adapter->sample().primaryInterface, std::nullopt);  // no route, no deltas

    route->set("tun0");
    const auto snapshot = adapter->sample();
    EXPECT_EQ(snapshot.primaryInterface, "tun0");  // the route may name a skipped tunnel
    EXPECT_EQ(lookupsAtClock, 4);                  // one lookup per snapshot, before its timestamp
    EXPECT_EQ(snapshot.timestamp, Date{std::chrono::seconds(1004)});
}

TEST(TrafficMonitorAdapterKernelTest, KnownUdpTrafficShowsUpExactlyAndTheDefaultRouteNamesThePrimary) {
    ostrel::testing::VethPair pair;
    if (!pair.whyNot.empty()) GTEST_SKIP() << pair.whyNot;
    ostrel::testing::NetnsScope inNear(pair.near);
    // The lookup runs in-process, in the namespace of the calling thread.
    TrafficMonitorAdapter adapter(std::make_unique<GetifaddrsCounterSource>(),
                                  std::make_unique<NetlinkDefaultRouteLookup>());
    const auto counters = adapter.readInterfaceCounters();
    EXPECT_TRUE(counters.count("ostv0") && counters.count("lo") && !counters.count("ostv1"));

    adapter.sample();
    const auto received = static_cast<std::int64_t>(pair.sendUdp(true, 200, 1000));
    const auto sent = static_cast<std::int64_t>(pair.sendUdp(false, 30, 77));
    auto snapshot = adapter.sample();
    EXPECT_EQ(snapshot.deltas, (Deltas{{"ostv0", received, sent}}));
    EXPECT_EQ(snapshot.primaryInterface, "ostv0");  // no default route: the largest mover
    EXPECT_EQ(adapter.sample().primaryInterface, std::nullopt);

    // A default route through an idle interface wins over the traffic.
    for (const char* step : {"link add ostd0 type veth peer name ostd1", "link set ostd1 up", "link set ostd0 up",
                             "route add default dev ostd0"}) {
        ASSERT_TRUE(pair.ip(pair.near, step)) << step;
    }
    adapter.sample();
    pair.sendUdp(true, 50, 500);
    snapshot = adapter.sample();
    EXPECT_EQ(snapshot.totalRxBytes, 50 * 542);
    EXPECT_EQ(snapshot.primaryInterface, "ostd0");
}
