#pragma once

#include <linux/netlink.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::nettop {

// Where a TCP socket is, as the kernel takes it to look one socket up again.
struct SocketAddress {
    std::uint8_t family = 0;
    std::uint16_t sourcePort = 0;  // both ports in network order, as the kernel gives them
    std::uint16_t destinationPort = 0;
    std::uint32_t interface = 0;
    std::array<std::uint32_t, 4> source{};
    std::array<std::uint32_t, 4> destination{};

    bool operator==(const SocketAddress&) const = default;
};

// What one TCP socket has put on the wire so far, as the kernel's counters tell it.
struct SocketCounters {
    std::uint64_t cookie = 0;    // the socket's identity for its whole life, also once it is closed
    std::uint64_t inode = 0;     // 0 once no descriptor refers to it: closed with data still queued
    std::uint64_t bytesIn = 0;   // payload received, plus the headers of every segment
    std::uint64_t bytesOut = 0;  // payload sent, retransmissions included, plus headers
    bool local = false;          // both ends on this machine: its bytes cross no counted interface
    std::uint32_t segmentsOut = 0;  // segments sent, retransmissions included (wraps at 32 bits)
    SocketAddress address{};

    bool operator==(const SocketCounters&) const = default;
};

// Every TCP socket of the network namespace that can carry bytes, over NETLINK_SOCK_DIAG, IPv4
// and IPv6; none when the kernel cannot be asked.
std::optional<std::vector<SocketCounters>> readTcpSocketCounters();

// The sockets of `which` (with their cookies) that still exist, each looked up alone: the cost
// grows with their number, not with every socket of the machine. None when the kernel cannot
// be asked.
std::optional<std::vector<SocketCounters>> askTcpSockets(const std::vector<SocketCounters>& which);

// One socket-diagnostics message with its tcp_info; none for another message or a socket
// without counters.
std::optional<SocketCounters> readSocketMessage(const nlmsghdr* header);

}  // namespace ostrel::nettop
