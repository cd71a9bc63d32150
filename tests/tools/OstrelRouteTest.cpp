#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DefaultRoute.hpp"

using ostrel::route::parseProcNetRoute;

namespace {

struct Result {
    int exitCode = -1;
    std::string output;
};

Result runShell(const std::string& command) {
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer;
    while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        result.output.append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool quiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
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
    Result route() const { return runShell("ip netns exec " + name_ + " " OSTREL_ROUTE_TOOL " -n get default"); }

private:
    std::string name_;
    bool available_ = false;
};

}  // namespace

TEST(OstrelRouteTest, NamesTheInterfaceTheKernelUsesTowardsAPublicAddress) {
    const Result kernel = runShell("ip -o route get 8.8.8.8 2>/dev/null || ip -o -6 route get 2001:4860:4860::8888");
    const auto dev = kernel.output.find(" dev ");
    if (kernel.exitCode != 0 || dev == std::string::npos) {
        GTEST_SKIP() << "this machine has no route to the outside";
    }
    const std::string expected = kernel.output.substr(dev + 5, kernel.output.find(' ', dev + 5) - dev - 5);
    const Result tool = runShell(OSTREL_ROUTE_TOOL " -n get default");
    EXPECT_EQ(tool.exitCode, 0);
    EXPECT_EQ(tool.output, "interface: " + expected + "\n");
}

TEST(OstrelRouteTest, ExitsOneWithoutARouteFallsBackToIPv6AndFollowsPolicyRouting) {
    Namespace ns;
    if (!ns.available()) GTEST_SKIP() << "needs root and network namespaces";
    ASSERT_TRUE(ns.ip("link set lo up"));
    Result tool = ns.route();
    EXPECT_EQ(tool.exitCode, 1);
    EXPECT_EQ(tool.output, "");
    ASSERT_TRUE(ns.ip("link add ostr0 type veth peer name ostr1"));
    ASSERT_TRUE(ns.ip("link add ostr2 type veth peer name ostr3"));
    for (const char* link : {"ostr0", "ostr1", "ostr2", "ostr3"}) {
        ASSERT_TRUE(ns.ip(std::string("link set ") + link + " up"));
    }
    ASSERT_TRUE(ns.ip("-6 addr add 2001:db8:1::1/64 dev ostr0 nodad"));
    ASSERT_TRUE(ns.ip("-6 route add default via 2001:db8:1::2 dev ostr0"));
    tool = ns.route();
    EXPECT_EQ(tool.exitCode, 0);
    EXPECT_EQ(tool.output, "interface: ostr0\n");

    // IPv4 wins once it has a route; a rule sending everything to another table, as VPNs set
    // up, decides over the main table's default.
    ASSERT_TRUE(ns.ip("addr add 10.233.0.1/24 dev ostr0"));
    ASSERT_TRUE(ns.ip("addr add 10.234.0.1/24 dev ostr2"));
    ASSERT_TRUE(ns.ip("route add default dev ostr0"));
    EXPECT_EQ(ns.route().output, "interface: ostr0\n");
    ASSERT_TRUE(ns.ip("route add default dev ostr2 table 51820"));
    ASSERT_TRUE(ns.ip("rule add to 8.0.0.0/8 table 51820 priority 100"));
    EXPECT_EQ(ns.route().output, "interface: ostr2\n");
}

TEST(ProcNetRouteTest, PicksTheLowestMetricDefaultRouteThatIsUp) {
    const std::string header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    EXPECT_EQ(parseProcNetRoute(header +
                                "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
                                "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                                "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"),
              "eth0");
    EXPECT_EQ(parseProcNetRoute(header + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"),
              std::nullopt);  // not up
    EXPECT_EQ(parseProcNetRoute(header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"),
              std::nullopt);  // no default route
    EXPECT_EQ(parseProcNetRoute(header + "garbage\n\t\n"), std::nullopt);
    EXPECT_EQ(parseProcNetRoute(""), std::nullopt);
    EXPECT_EQ(ostrel::route::procNetRouteInterface("/nonexistent/route"), std::nullopt);
}
