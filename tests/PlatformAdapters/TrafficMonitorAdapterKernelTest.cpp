// Real kernel counters: traffic of a known size across a veth pair in namespaces of its own.
#include <gtest/gtest.h>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/TrafficMonitorAdapter.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

using namespace ostrel;
using ostrel::testing::NetnsScope;
using ostrel::testing::VethPair;

TEST(TrafficMonitorAdapterKernelTest, KnownUdpTrafficShowsUpExactlyAndTheDefaultRouteNamesThePrimary) {
    std::string whyNot;
    const auto pair = VethPair::create(whyNot);
    if (!pair) {
        GTEST_SKIP() << whyNot;
    }
    NetnsScope inNear(pair->nearNamespace());
    TrafficMonitorAdapter adapter(std::make_unique<GetifaddrsCounterSource>(), std::make_shared<ProcessToolRunner>(),
                                  ToolPaths::inLibexec(OSTREL_BUILD_LIBEXEC_DIR).route);
    const auto counters = adapter.readInterfaceCounters();
    EXPECT_TRUE(counters.count("ostv0") && counters.count("lo"));
    EXPECT_FALSE(counters.count("ostv1"));  // the peer lives in the other namespace

    adapter.sample();
    const auto received = pair->sendUdp(true, 200, 1000);
    const auto sent = pair->sendUdp(false, 30, 77);
    auto snapshot = adapter.sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0].interface, "ostv0");
    EXPECT_EQ(snapshot.totalRxBytes, static_cast<std::int64_t>(received));
    EXPECT_EQ(snapshot.totalTxBytes, static_cast<std::int64_t>(sent));
    EXPECT_EQ(snapshot.primaryInterface, "ostv0");  // no default route: the largest mover
    snapshot = adapter.sample();
    EXPECT_TRUE(snapshot.deltas.empty());
    EXPECT_EQ(snapshot.primaryInterface, std::nullopt);

    // A default route through an idle interface wins over the traffic.
    for (const char* step : {"link add ostd0 type veth peer name ostd1", "link set ostd1 up", "link set ostd0 up"}) {
        ASSERT_TRUE(pair->ip(pair->nearNamespace(), step)) << step;
    }
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "route add default dev ostd0"));
    adapter.sample();
    pair->sendUdp(true, 50, 500);
    snapshot = adapter.sample();
    EXPECT_EQ(snapshot.totalRxBytes, 50 * 542);
    EXPECT_EQ(snapshot.primaryInterface, "ostd0");
}
