#include "PlatformAdapters/TrafficMonitorAdapter.hpp"

#include <gtest/gtest.h>

#include "Platform/ScriptedToolRunner.hpp"

using namespace ostrel;

namespace {

const std::string kRoute = "/opt/ostrel/libexec/ostrel-route";

class TrafficMonitorAdapterTest : public ::testing::Test {
protected:
    TrafficMonitorAdapterTest() {
        auto source = std::make_unique<FakeInterfaceCounterSource>();
        counters = source.get();
        adapter = std::make_unique<TrafficMonitorAdapter>(std::move(source), tools, kRoute, [this] {
            ++clockReads;
            return Date{std::chrono::seconds(1000 + clockReads)};
        });
    }

    void route(std::optional<std::string> output) { tools->answer(kRoute, std::move(output)); }

    FakeInterfaceCounterSource* counters = nullptr;
    std::shared_ptr<ScriptedToolRunner> tools = std::make_shared<ScriptedToolRunner>();
    int clockReads = 0;
    std::unique_ptr<TrafficMonitorAdapter> adapter;
};

constexpr std::uint32_t kTop = 4294967295u;

}  // namespace

TEST_F(TrafficMonitorAdapterTest, CountsDeltasAcrossTheThirtyTwoBitWrap) {
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(100, kTop - 295), 396u);  // 296 below 2^32, then 100
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(kTop - 295, 100), kTop - 395);
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(0, kTop), 1u);
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(5, 5), 0u);
    EXPECT_EQ(TrafficMonitorAdapter::counterDelta(5, 4294967296ULL), 0u);  // backwards from above the limit

    counters->set({{"eth0", kTop - 295, 100}});
    adapter->sample();
    counters->set({{"eth0", 100, kTop - 295}});
    const auto snapshot = adapter->sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0], (InterfaceTrafficDelta{"eth0", 396, kTop - 395}));
    EXPECT_EQ(snapshot.totalRxBytes, 396);
    EXPECT_EQ(snapshot.totalTxBytes, static_cast<std::int64_t>(kTop - 395));
}

TEST_F(TrafficMonitorAdapterTest, NewInterfacesCountFromTheirSecondReadingAndIdleOnesAreLeftOut) {
    counters->set({{"eth0", 1000, 2000}});
    EXPECT_TRUE(adapter->sample().deltas.empty());  // empty baseline: everything is new
    counters->set({{"eth0", 1500, 2000}, {"wlan0", 7, 7}, {"eth1", 0, 0}});
    auto snapshot = adapter->sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0], (InterfaceTrafficDelta{"eth0", 500, 0}));
    counters->set({{"eth0", 1500, 2000}, {"wlan0", 10, 17}, {"eth1", 0, 0}});
    snapshot = adapter->sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0], (InterfaceTrafficDelta{"wlan0", 3, 10}));
    EXPECT_EQ(snapshot.totalRxBytes, 3);
    EXPECT_EQ(snapshot.totalTxBytes, 10);
}

TEST_F(TrafficMonitorAdapterTest, SkipsLoopbackAppleAndLinuxVirtualInterfacesButKeepsThemInTheBaseline) {
    const std::vector<std::string> skipped = {"lo",    "lo0",     "lo1",    "awdl0", "llw0", "anpi0",  "veth1a2b",
                                              "docker0", "br-5f1c", "bridge0", "virbr0", "tun0", "tap3", "wg0"};
    std::vector<LinkCounters> first, second;
    for (const auto& name : skipped) {
        first.push_back({name, 10, 10});
        second.push_back({name, 5000, 5000});
    }
    first.push_back({"ostv0", 10, 10});
    second.push_back({"ostv0", 20, 30});
    counters->set(first);
    adapter->sample();
    counters->set(second);
    const auto snapshot = adapter->sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0].interface, "ostv0");
    EXPECT_EQ(snapshot.totalRxBytes, 10);
    EXPECT_EQ(adapter->previousCounters().at("tun0"), (InterfaceCounterPair{5000, 5000}));
    EXPECT_EQ(adapter->previousCounters().size(), skipped.size() + 1);
    for (const auto* kept : {"eth0", "wlp2s0", "enp3s0", "wwan0", "ostv0", "l0"}) {
        EXPECT_FALSE(TrafficMonitorAdapter::isSkippedInterface(kept)) << kept;
    }
}

TEST_F(TrafficMonitorAdapterTest, BaselineBecomesTheWholeReadingAndAFailedReadEmptiesIt) {
    counters->set({{"eth0", 100, 100}, {"wlan0", 5, 5}, {"eth0", 300, 400}});  // a later entry wins
    EXPECT_EQ(adapter->readInterfaceCounters(),
              (InterfaceCounters{{"eth0", {300, 400}}, {"wlan0", {5, 5}}}));
    adapter->sample();
    counters->set({{"eth0", 350, 400}});
    adapter->sample();
    EXPECT_EQ(adapter->previousCounters(), (InterfaceCounters{{"eth0", {350, 400}}}));  // wlan0 forgotten

    route("interface: eth0\n");
    counters->set({});
    auto snapshot = adapter->sample();  // the counter read failed
    EXPECT_TRUE(snapshot.deltas.empty());
    EXPECT_EQ(snapshot.primaryInterface, "eth0");
    EXPECT_TRUE(adapter->previousCounters().empty());
    counters->set({{"eth0", 900, 900}});
    EXPECT_TRUE(adapter->sample().deltas.empty());  // every interface is new again
    counters->set({{"eth0", 901, 900}});
    EXPECT_EQ(adapter->sample().totalRxBytes, 1);
}

TEST_F(TrafficMonitorAdapterTest, PrimaryInterfaceComesFromTheRouteToolElseTheLargestMover) {
    counters->set({{"eth0", 0, 0}, {"eth1", 0, 0}, {"wlan0", 0, 0}});
    adapter->sample();
    counters->set({{"eth0", 50, 50}, {"eth1", 100, 0}, {"wlan0", 99, 0}});
    EXPECT_EQ(adapter->sample().primaryInterface, "eth0");  // tie at 100: first in the list

    counters->set({{"eth0", 50, 50}, {"eth1", 100, 0}, {"wlan0", 99, 0}});
    EXPECT_EQ(adapter->sample().primaryInterface, std::nullopt);  // no route, no deltas

    route("route to: default\ndestination: default\n   interface: tun0\nflags: <UP>\n");
    EXPECT_EQ(adapter->sample().primaryInterface, "tun0");  // the route may name a skipped tunnel
    route("interface:\n");
    EXPECT_EQ(adapter->sample().primaryInterface, "");  // empty text is used as it is

    const auto calls = tools->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().path, kRoute);
    EXPECT_EQ(calls.back().arguments, (std::vector<std::string>{"-n", "get", "default"}));
}

TEST_F(TrafficMonitorAdapterTest, TimestampIsTakenAfterTheRouteToolRan) {
    int clockReadsDuringRoute = -1;
    tools->answer(kRoute, [this, &clockReadsDuringRoute](const std::vector<std::string>&) {
        clockReadsDuringRoute = clockReads;
        return std::optional<std::string>("interface: eth0\n");
    });
    const auto snapshot = adapter->sample();
    EXPECT_EQ(clockReadsDuringRoute, 0);
    EXPECT_EQ(snapshot.timestamp, Date{std::chrono::seconds(1001)});
}

TEST(RouteOutputTest, ReadsTheFirstInterfaceLine) {
    using A = TrafficMonitorAdapter;
    EXPECT_EQ(A::parseRouteOutput("interface: en0"), "en0");
    EXPECT_EQ(A::parseRouteOutput("   interface: en7\n"), "en7");
    EXPECT_EQ(A::parseRouteOutput("\t interface:\ten1 \t\n"), "en1");
    EXPECT_EQ(A::parseRouteOutput("gateway: 10.0.0.1\ninterface: en0\ninterface: en1\n"), "en0");
    EXPECT_EQ(A::parseRouteOutput("interface:"), "");
    EXPECT_EQ(A::parseRouteOutput("interface: interface: x"), "x");  // every occurrence is removed
    EXPECT_EQ(A::parseRouteOutput("interface: en0\r\n"), "en0");
    EXPECT_EQ(A::parseRouteOutput("the interface: en0\n"), std::nullopt);  // must begin the line
    EXPECT_EQ(A::parseRouteOutput("Interface: en0\n"), std::nullopt);
    EXPECT_EQ(A::parseRouteOutput(""), std::nullopt);
    EXPECT_EQ(A::parseRouteOutput("\n\n"), std::nullopt);
}
