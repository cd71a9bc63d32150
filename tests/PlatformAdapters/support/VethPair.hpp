#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <utility>

#include "Platform/UniqueFd.hpp"

namespace ostrel::testing {

// Two network namespaces made for one test and joined by a veth pair: "ostv0" (10.231.0.1) in
// `near`, "ostv1" (10.231.0.2) in `far`. No IPv6 and static neighbours, so the only frames on
// the pair are the test's own. `whyNot` is set when this machine cannot make them.
struct VethPair {
    static constexpr std::uint64_t udpFrameOverhead = 14 + 20 + 8;  // Ethernet, IPv4, UDP headers

    VethPair();
    ~VethPair();
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;

    // 10.231.0.2 (far) or 10.231.0.1 (near) at `port`.
    static sockaddr_in address(bool farSide, std::uint16_t port);
    bool ip(const std::string& ns, const std::string& arguments) const;
    // The bytes ostv0 has received and sent, as the kernel counts them.
    std::pair<std::int64_t, std::int64_t> nearCounters() const;
    // Sends datagrams across until all arrived; the bytes on the wire.
    std::uint64_t sendUdp(bool fromFar, int count, int payload) const;
    // A connected TCP stream across: the far end, then the near end.
    std::pair<UniqueFd, UniqueFd> tcpStream(std::uint16_t port) const;

    std::string near, far, whyNot;
};

// Keeps the calling thread in a namespace for the scope's life; threads and processes it
// starts meanwhile stay there.
class NetnsScope final {
public:
    explicit NetnsScope(const std::string& ns);
    ~NetnsScope();

private:
    UniqueFd original_;
};

}  // namespace ostrel::testing
