#pragma once

#include <optional>
#include <string>

namespace ostrel::route {

// The interface the kernel picks towards a public address, asked the way `ip route get` asks
// (RTM_GETROUTE), so policy routing such as a VPN's counts. IPv4 first, then IPv6.
std::optional<std::string> kernelRouteInterface();

// The lowest-metric default route of a /proc/net/route table.
std::optional<std::string> procNetRouteInterface(const std::string& procNetRoutePath);

// The same, from the table's text.
std::optional<std::string> parseProcNetRoute(const std::string& table);

}  // namespace ostrel::route
