#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::nettop {

// The TCP segments the network namespace has sent so far: the kernel's OutSegs and RetransSegs.
// Every segment a socket sends is counted there once and once in the socket's own count of
// segments sent; so what the namespace sent beyond what a set of sockets sent was sent by other
// sockets, or by the kernel alone (handshakes, resets, acknowledgements of closing
// connections). A socket that receives anything sends acknowledgements.
std::optional<std::uint64_t> parseSegmentsSent(std::string_view snmp);

// The same from the kernel's table for the calling process's network namespace (`snmpPath`).
std::optional<std::uint64_t> readSegmentsSent(const std::string& snmpPath = "/proc/self/net/snmp");

}  // namespace ostrel::nettop
