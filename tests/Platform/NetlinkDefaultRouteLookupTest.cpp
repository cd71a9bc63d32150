#include <gtest/gtest.h>

#include "Platform/NetlinkDefaultRouteLookup.hpp"

using ostrel::NetlinkDefaultRouteLookup;

// The last resort when rtnetlink cannot be asked; the kernel's own lookup is tested through
// ostrel-route and the traffic monitor in network namespaces.
TEST(NetlinkDefaultRouteLookupTest, ProcNetRouteGivesTheLowestMetricDefaultRouteThatIsUpAndHasAnInterface) {
    const auto parse = [](const std::string& rows) {
        return NetlinkDefaultRouteLookup::parseProcNetRoute(
            "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" + rows);
    };
    EXPECT_EQ(parse("eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                    "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                    "*\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"     // blackhole
                    "eth1\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n"  // reject flag
                    "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"),
              "eth0");
    EXPECT_EQ(parse("eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"), std::nullopt);  // not up
    EXPECT_EQ(parse("garbage\n\t\n"), std::nullopt);
}
