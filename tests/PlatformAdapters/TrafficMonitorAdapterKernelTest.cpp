// Real kernel counters: traffic of a known size across a veth pair in namespaces of its own.
#include <gtest/gtest.h>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/TrafficMonitorAdapter.hpp"
#include "PlatformAdapters/support/VethPair.hpp"

using namespace ostrel;
using ostrel::testing::NetnsScope;
using ostrel::testing::VethPair;

namespace {

class TrafficMonitorAdapterKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        pair = VethPair::create(whyNot);
        if (!pair) {
            GTEST_SKIP() << whyNot;
        }
    }

    std::unique_ptr<TrafficMonitorAdapter> makeAdapter() {
        return std::make_unique<TrafficMonitorAdapter>(std::make_unique<GetifaddrsCounterSource>(),
                                                       std::make_shared<ProcessToolRunner>(),
                                                       ToolPaths::inLibexec(OSTREL_BUILD_LIBEXEC_DIR).route);
    }

    std::unique_ptr<VethPair> pair;
};

}  // namespace

TEST_F(TrafficMonitorAdapterKernelTest, KnownUdpTrafficShowsUpExactlyInTheDeltas) {
    NetnsScope inNear(pair->nearNamespace());
    auto adapter = makeAdapter();
    const auto counters = adapter->readInterfaceCounters();
    EXPECT_TRUE(counters.count("ostv0"));
    EXPECT_TRUE(counters.count("lo"));
    EXPECT_FALSE(counters.count("ostv1"));  // the peer lives in the other namespace

    adapter->sample();
    const auto received = pair->sendUdp(true, 200, 1000);
    const auto sent = pair->sendUdp(false, 30, 77);
    const auto snapshot = adapter->sample();
    ASSERT_EQ(snapshot.deltas.size(), 1u);
    EXPECT_EQ(snapshot.deltas[0].interface, "ostv0");
    EXPECT_EQ(snapshot.deltas[0].rxBytes, static_cast<std::int64_t>(received));
    EXPECT_EQ(snapshot.deltas[0].txBytes, static_cast<std::int64_t>(sent));
    EXPECT_EQ(snapshot.totalRxBytes, 200 * 1042);
    EXPECT_EQ(snapshot.totalTxBytes, 30 * 119);
    // No default route here: the route tool exits 1 and the largest mover is primary.
    EXPECT_EQ(snapshot.primaryInterface, "ostv0");

    const auto idle = adapter->sample();
    EXPECT_TRUE(idle.deltas.empty());
    EXPECT_EQ(idle.primaryInterface, std::nullopt);
}

TEST_F(TrafficMonitorAdapterKernelTest, PrimaryInterfaceFollowsTheKernelsDefaultRouteNotTheTraffic) {
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "link add ostd0 type veth peer name ostd1"));
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "link set ostd1 up"));
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "link set ostd0 up"));
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "addr add 10.232.0.1/24 dev ostd0"));
    ASSERT_TRUE(pair->ip(pair->nearNamespace(), "route add default dev ostd0"));
    NetnsScope inNear(pair->nearNamespace());
    auto adapter = makeAdapter();
    adapter->sample();
    pair->sendUdp(true, 50, 500);
    const auto snapshot = adapter->sample();
    EXPECT_EQ(snapshot.totalRxBytes, 50 * 542);
    EXPECT_EQ(snapshot.primaryInterface, "ostd0");
    EXPECT_EQ(adapter->defaultRouteInterface(), "ostd0");
}
