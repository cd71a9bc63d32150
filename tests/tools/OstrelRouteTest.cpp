#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "Platform/ProcessToolRunner.hpp"
#include "Platform/support/CommandFailure.hpp"

namespace {

bool quiet(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Run as the sampler runs it: the output on exit 0, nothing otherwise.
std::optional<std::string> run(const std::string& path, const std::vector<std::string>& arguments) {
    return ostrel::ProcessToolRunner(std::chrono::seconds(60)).runCommand(path, arguments);
}

// A namespace of its own for one test, removed afterwards. `whyNot` is set when this machine
// cannot make one and work in it: `ip netns add` can succeed where entering the namespace fails
// (a chroot whose root is not a mount point).
class Namespace {
public:
    Namespace() : name_("ostrel-route-" + std::to_string(::getpid())) {
        if (::geteuid() != 0) {
            whyNot = "needs root to make network namespaces";
        } else if (const auto why = ostrel::testing::commandFailure("ip netns add " + name_ + " && ip -n " + name_ +
                                                                    " link set lo up && ip netns exec " + name_ + " true")) {
            whyNot = "network namespaces are not available here: " + *why;
        }
    }
    ~Namespace() { quiet("ip netns del " + name_); }
    bool ip(const std::string& arguments) const { return quiet("ip -n " + name_ + " " + arguments); }
    // What the tool printed on either stream, and its exit status.
    std::string route() const {
        return run("/usr/bin/ip",
                   {"netns", "exec", name_, "sh", "-c", "\"$0\" -n get default 2>&1; echo exit $?", OSTREL_ROUTE_TOOL})
            .value_or("not run");
    }

    std::string whyNot;

private:
    std::string name_;
};

}  // namespace

TEST(OstrelRouteTest, NamesTheInterfaceTheKernelUsesTowardsAPublicAddress) {
    const auto kernel = run("/usr/bin/ip", {"-o", "route", "get", "8.8.8.8"});
    const auto dev = kernel ? kernel->find(" dev ") : std::string::npos;
    if (dev == std::string::npos) {
        GTEST_SKIP() << "this machine has no IPv4 route to the outside";
    }
    EXPECT_EQ(run(OSTREL_ROUTE_TOOL, {"-n", "get", "default"}),
              "interface: " + kernel->substr(dev + 5, kernel->find(' ', dev + 5) - dev - 5) + "\n");
}

TEST(OstrelRouteTest, FollowsIPv4ThenIPv6AndPolicyRoutingAndExitsOneWithoutAUsableRoute) {
    Namespace ns;
    if (!ns.whyNot.empty()) GTEST_SKIP() << ns.whyNot;
    for (const char* step : {"link add ostr0 type veth peer name ostr1", "link add ostr2 type veth peer name ostr3",
                             "link set ostr0 up", "link set ostr1 up", "link set ostr2 up", "link set ostr3 up",
                             "-6 addr add 2001:db8:1::1/64 dev ostr0 nodad", "addr add 10.234.0.1/24 dev ostr2"}) {
        ASSERT_TRUE(ns.ip(step)) << step;
    }
    const std::string none = "ostrel-route: no usable default route\nexit 1\n";
    // Each step's commands, then the tool's answer.
    const std::vector<std::pair<std::vector<std::string>, std::string>> steps{
        {{}, none},
        {{"-6 route add default via 2001:db8:1::2 dev ostr0"}, "interface: ostr0\nexit 0\n"},
        {{"route add default dev ostr2"}, "interface: ostr2\nexit 0\n"},  // IPv4 first
        // A rule sending everything to another table, as VPNs set up, decides over the main table.
        {{"route add default dev ostr0 table 51820", "rule add to 8.0.0.0/8 table 51820 priority 100"},
         "interface: ostr0\nexit 0\n"},
        // A kill switch's reject route there leaves no usable route, whatever the main table says.
        {{"-6 route del default", "route replace blackhole default table 51820"}, none},
        {{"route replace unreachable default table 51820"}, none},
        {{"route replace prohibit default table 51820"}, none},
        // Reject routes in the main table, which /proc/net/route lists with the interface "*".
        {{"rule del priority 100", "route replace blackhole default"}, none},
        {{"route replace unreachable default"}, none},
        {{"route replace prohibit default"}, none}};
    for (const auto& [commands, answer] : steps) {
        for (const auto& command : commands) ASSERT_TRUE(ns.ip(command)) << command;
        EXPECT_EQ(ns.route(), answer) << (commands.empty() ? "no route" : commands.back());
    }
}
