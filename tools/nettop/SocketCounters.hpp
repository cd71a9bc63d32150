#pragma once

#include <linux/netlink.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::nettop {

// What one TCP socket has put on the wire so far, as the kernel's counters tell it.
struct SocketCounters {
    std::uint64_t cookie = 0;    // the socket's identity for its whole life, also once it is closed
    std::uint64_t inode = 0;     // 0 once no descriptor refers to it: closed with data still queued
    std::uint64_t bytesIn = 0;   // payload received, plus the headers of every segment
    std::uint64_t bytesOut = 0;  // payload sent, retransmissions included, plus headers
    bool local = false;          // both ends on this machine: its bytes cross no counted interface

    bool operator==(const SocketCounters&) const = default;
};

// Every TCP socket of the network namespace that can carry bytes, over NETLINK_SOCK_DIAG, IPv4
// and IPv6; none when the kernel cannot be asked.
std::optional<std::vector<SocketCounters>> readTcpSocketCounters();

// One socket-diagnostics message with its tcp_info; none for another message or a socket
// without counters.
std::optional<SocketCounters> readSocketMessage(const nlmsghdr* header);

}  // namespace ostrel::nettop
