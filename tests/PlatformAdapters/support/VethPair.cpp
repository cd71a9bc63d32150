#include "PlatformAdapters/support/VethPair.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace ostrel::testing {
namespace {

constexpr const char* kNearAddress = "10.231.0.1";
constexpr const char* kFarAddress = "10.231.0.2";
constexpr const char* kNearMac = "02:0a:e7:00:00:01";
constexpr const char* kFarMac = "02:0a:e7:00:00:02";

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

int udpSocket(const std::string& ns, const char* address, std::uint16_t port) {
    NetnsScope scope(ns);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        throw std::runtime_error("cannot bind a test socket");
    }
    timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

}  // namespace

std::unique_ptr<VethPair> VethPair::create(std::string& whyNot) {
    if (::geteuid() != 0) {
        whyNot = "needs root to make network namespaces";
        return nullptr;
    }
    const std::string tag = std::to_string(::getpid());
    std::unique_ptr<VethPair> pair(new VethPair("ostrel-near-" + tag, "ostrel-far-" + tag));
    if (!run("ip netns add " + pair->near_) || !run("ip netns add " + pair->far_)) {
        whyNot = "network namespaces are not available here (ip netns add failed)";
        return nullptr;
    }
    bool ok = true;
    for (const auto* ns : {&pair->near_, &pair->far_}) {
        ok = ok && run("ip netns exec " + *ns +
                       " sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1");
    }
    ok = ok && pair->ip(pair->near_, std::string("link add ostv0 address ") + kNearMac + " type veth peer name ostv1 address " +
                                         kFarMac + " netns " + pair->far_);
    ok = ok && pair->ip(pair->near_, std::string("addr add ") + kNearAddress + "/24 dev ostv0");
    ok = ok && pair->ip(pair->far_, std::string("addr add ") + kFarAddress + "/24 dev ostv1");
    ok = ok && pair->ip(pair->near_, std::string("neigh add ") + kFarAddress + " lladdr " + kFarMac + " dev ostv0 nud permanent");
    ok = ok && pair->ip(pair->far_, std::string("neigh add ") + kNearAddress + " lladdr " + kNearMac + " dev ostv1 nud permanent");
    ok = ok && pair->ip(pair->near_, "link set ostv0 up") && pair->ip(pair->far_, "link set ostv1 up");
    ok = ok && pair->ip(pair->near_, "link set lo up") && pair->ip(pair->far_, "link set lo up");
    if (!ok) {
        whyNot = "could not build the veth pair between the test namespaces";
        return nullptr;
    }
    return pair;
}

VethPair::~VethPair() {
    run("ip netns del " + near_);
    run("ip netns del " + far_);
}

bool VethPair::ip(const std::string& ns, const std::string& arguments) const {
    return run("ip -n " + ns + " " + arguments);
}

std::uint64_t VethPair::sendUdp(bool fromFar, int count, int payload) const {
    const std::uint16_t port = 40000 + static_cast<std::uint16_t>(::getpid() % 20000);
    const int receiver = fromFar ? udpSocket(near_, kNearAddress, port) : udpSocket(far_, kFarAddress, port);
    const int sender = fromFar ? udpSocket(far_, kFarAddress, 0) : udpSocket(near_, kNearAddress, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, fromFar ? kNearAddress : kFarAddress, &to.sin_addr);
    std::vector<char> datagram(static_cast<std::size_t>(payload), 'x');
    int received = 0;
    for (int i = 0; i < count; ++i) {
        ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (::recv(receiver, datagram.data(), datagram.size(), 0) == payload) {
            ++received;
        }
    }
    ::close(sender);
    ::close(receiver);
    if (received != count) {
        throw std::runtime_error("datagrams were lost on the veth pair");
    }
    return static_cast<std::uint64_t>(count) * (static_cast<std::uint64_t>(payload) + udpFrameOverhead);
}

NetnsScope::NetnsScope(const std::string& ns) {
    original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = original_ >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0) {
        ::close(target);
    }
    if (!entered) {
        if (original_ >= 0) {
            ::close(original_);
        }
        throw std::runtime_error("cannot enter network namespace " + ns);
    }
}

NetnsScope::~NetnsScope() {
    ::setns(original_, CLONE_NEWNET);
    ::close(original_);
}

}  // namespace ostrel::testing
