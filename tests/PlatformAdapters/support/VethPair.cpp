#include "PlatformAdapters/support/VethPair.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_link.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/support/CommandFailure.hpp"

namespace ostrel::testing {
namespace {

bool run(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

UniqueFd socketIn(const std::string& ns, int type) {
    NetnsScope inside(ns);
    return UniqueFd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
}

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

// Frames the device dropped on sending: the pair counts them neither as sent nor as received.
std::uint64_t dropped(const std::string& ns, const char* device) {
    NetnsScope inside(ns);
    ifaddrs* list = nullptr;
    check(::getifaddrs(&list) == 0, "cannot read the interface counters");
    std::uint64_t count = 0;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_PACKET && entry->ifa_data &&
            std::string(entry->ifa_name) == device) {
            count = static_cast<const rtnl_link_stats*>(entry->ifa_data)->tx_dropped;
        }
    }
    ::freeifaddrs(list);
    return count;
}

bool arrives(int socket, std::vector<char>& datagram, int milliseconds) {
    pollfd ready{socket, POLLIN, 0};
    return ::poll(&ready, 1, milliseconds) == 1 &&
           ::recv(socket, datagram.data(), datagram.size(), 0) == static_cast<ssize_t>(datagram.size());
}

}  // namespace

VethPair::VethPair()
    : near("ostrel-near-" + std::to_string(::getpid())), far("ostrel-far-" + std::to_string(::getpid())) {
    if (::geteuid() != 0) {
        whyNot = "needs root to make network namespaces";
        return;
    }
    // $1 is the near namespace, $2 the far one.
    const char* script = R"(set -e
        ip netns add "$1"; ip netns add "$2"
        for ns in "$1" "$2"; do
            ip netns exec "$ns" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
            ip -n "$ns" link set lo up
        done
        ip -n "$1" link add ostv0 address 02:0a:e7:00:00:01 type veth peer name ostv1 address 02:0a:e7:00:00:02 netns "$2"
        ip -n "$1" addr add 10.231.0.1/24 dev ostv0; ip -n "$2" addr add 10.231.0.2/24 dev ostv1
        ip -n "$1" neigh add 10.231.0.2 lladdr 02:0a:e7:00:00:02 dev ostv0 nud permanent
        ip -n "$2" neigh add 10.231.0.1 lladdr 02:0a:e7:00:00:01 dev ostv1 nud permanent
        ip -n "$1" link set ostv0 up; ip -n "$2" link set ostv1 up)";
    if (const auto why = commandFailure("sh -c '" + std::string(script) + "' sh " + near + " " + far)) {
        whyNot = "network namespaces are not available here: " + *why;
    }
}

VethPair::~VethPair() {
    run("ip netns del " + near + "; ip netns del " + far);
}

bool VethPair::ip(const std::string& ns, const std::string& arguments) const {
    return run("ip -n " + ns + " " + arguments);
}

std::pair<std::int64_t, std::int64_t> VethPair::nearCounters() const {
    const NetnsScope inside(near);
    for (const auto& link : GetifaddrsCounterSource().read()) {
        if (link.name == "ostv0") return {link.rxBytes, link.txBytes};
    }
    return {-1, -1};
}

sockaddr_in VethPair::address(bool farSide, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, farSide ? "10.231.0.2" : "10.231.0.1", &address.sin_addr);
    return address;
}

std::uint64_t VethPair::sendUdp(bool fromFar, int count, int payload) const {
    auto to = address(!fromFar, static_cast<std::uint16_t>(40000 + ::getpid() % 20000));
    const auto receiver = socketIn(fromFar ? near : far, SOCK_DGRAM);
    const auto sender = socketIn(fromFar ? far : near, SOCK_DGRAM);
    const char* device = fromFar ? "ostv1" : "ostv0";
    check(::bind(receiver.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0, "cannot bind a test socket");
    std::vector<char> datagram(static_cast<std::size_t>(payload), 'x');
    // A busy machine may drop a frame (a full backlog) or deliver it late: one dropped is sent
    // again, one counted is waited for.
    for (int sent = 0; sent < count;) {
        const auto droppedBefore = dropped(fromFar ? far : near, device);
        if (::sendto(sender.get(), datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) !=
            payload) {
            continue;
        }
        if (arrives(receiver.get(), datagram, 1000)) {
            ++sent;
        } else if (dropped(fromFar ? far : near, device) == droppedBefore) {
            check(arrives(receiver.get(), datagram, 60000), "a datagram was lost");
            ++sent;
        }
    }
    return static_cast<std::uint64_t>(count) * (static_cast<std::uint64_t>(payload) + udpFrameOverhead);
}

std::pair<UniqueFd, UniqueFd> VethPair::tcpStream(std::uint16_t port) const {
    auto at = address(false, port);
    const auto listener = socketIn(near, SOCK_STREAM);
    auto farEnd = socketIn(far, SOCK_STREAM);
    check(::bind(listener.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 &&
              ::listen(listener.get(), 1) == 0 &&
              ::connect(farEnd.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0,
          "cannot connect across the veth pair");
    return {std::move(farEnd), UniqueFd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC))};
}

NetnsScope::NetnsScope(const std::string& ns) : original_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
    const UniqueFd target(::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC));
    check(original_.valid() && target.valid() && ::setns(target.get(), CLONE_NEWNET) == 0, "cannot enter a namespace");
}

NetnsScope::~NetnsScope() {
    ::setns(original_.get(), CLONE_NEWNET);
}

}  // namespace ostrel::testing
