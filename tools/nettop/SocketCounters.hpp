#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::nettop {

// Byte counters of one TCP socket as the kernel reports them.
struct SocketCounters {
    std::uint64_t inode = 0;
    std::uint64_t cookie = 0;  // tells a reused inode number from the socket it replaced
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;  // acknowledged by the peer

    bool operator==(const SocketCounters&) const = default;
};

// Every TCP socket of the network namespace over NETLINK_SOCK_DIAG, IPv4 and IPv6; none when the
// kernel cannot be asked. Sockets without an inode (time-wait) are left out.
std::optional<std::vector<SocketCounters>> readTcpSocketCounters();

}  // namespace ostrel::nettop
