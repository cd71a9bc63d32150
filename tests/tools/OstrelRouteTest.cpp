#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "DefaultRoute.hpp"
#include "Platform/ProcessToolRunner.hpp"

using ostrel::route::parseProcNetRoute;

namespace {

bool quiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Run as the sampler runs it: the output on exit 0, nothing otherwise.
std::optional<std::string> run(const std::string& path, const std::vector<std::string>& arguments) {
    return ostrel::ProcessToolRunner().runCommand(path, arguments);
}

// A namespace of its own for one test, removed afterwards.
class Namespace {
public:
    Namespace() : name_("ostrel-route-" + std::to_string(::getpid())) {
        available_ = ::geteuid() == 0 && quiet("ip netns add " + name_);
    }
    ~Namespace() {
        if (available_) quiet("ip netns del " + name_);
    }
    bool available() const { return available_; }
    bool ip(const std::string& arguments) const { return quiet("ip -n " + name_ + " " + arguments); }
    std::optional<std::string> route() const {
        return run("/usr/bin/ip", {"netns", "exec", name_, OSTREL_ROUTE_TOOL, "-n", "get", "default"});
    }

private:
    std::string name_;
    bool available_ = false;
};

}  // namespace

TEST(OstrelRouteTest, NamesTheInterfaceTheKernelUsesTowardsAPublicAddress) {
    const auto kernel = run("/usr/bin/ip", {"-o", "route", "get", "8.8.8.8"});
    const auto dev = kernel ? kernel->find(" dev ") : std::string::npos;
    if (dev == std::string::npos) {
        GTEST_SKIP() << "this machine has no IPv4 route to the outside";
    }
    EXPECT_EQ(run(OSTREL_ROUTE_TOOL, {"-n", "get", "default"}), "interface: " + kernel->substr(dev + 5, kernel->find(' ', dev + 5) - dev - 5) + "\n");
}

TEST(OstrelRouteTest, ExitsOneWithoutARouteFallsBackToIPv6AndFollowsPolicyRouting) {
    Namespace ns;
    if (!ns.available()) GTEST_SKIP() << "needs root and network namespaces";
    ASSERT_TRUE(ns.ip("link set lo up"));
    EXPECT_EQ(ns.route(), std::nullopt);
    ASSERT_TRUE(ns.ip("link add ostr0 type veth peer name ostr1"));
    ASSERT_TRUE(ns.ip("link add ostr2 type veth peer name ostr3"));
    for (const char* link : {"ostr0", "ostr1", "ostr2", "ostr3"}) {
        ASSERT_TRUE(ns.ip(std::string("link set ") + link + " up"));
    }
    ASSERT_TRUE(ns.ip("-6 addr add 2001:db8:1::1/64 dev ostr0 nodad"));
    ASSERT_TRUE(ns.ip("-6 route add default via 2001:db8:1::2 dev ostr0"));
    EXPECT_EQ(ns.route(), "interface: ostr0\n");

    // IPv4 wins once it has a route; a rule sending everything to another table, as VPNs set
    // up, decides over the main table's default.
    ASSERT_TRUE(ns.ip("addr add 10.234.0.1/24 dev ostr2"));
    ASSERT_TRUE(ns.ip("route add default dev ostr0"));
    EXPECT_EQ(ns.route(), "interface: ostr0\n");
    ASSERT_TRUE(ns.ip("route add default dev ostr2 table 51820"));
    ASSERT_TRUE(ns.ip("rule add to 8.0.0.0/8 table 51820 priority 100"));
    EXPECT_EQ(ns.route(), "interface: ostr2\n");
}

TEST(ProcNetRouteTest, PicksTheLowestMetricDefaultRouteThatIsUp) {
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    EXPECT_EQ(parseProcNetRoute(header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                                         "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                                         "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"),
              "eth0");
    EXPECT_EQ(parseProcNetRoute(header + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"),
              std::nullopt);  // not up
    EXPECT_EQ(parseProcNetRoute(header + "garbage\n\t\n"), std::nullopt);
    EXPECT_EQ(ostrel::route::procNetRouteInterface("/nonexistent/route"), std::nullopt);
}
