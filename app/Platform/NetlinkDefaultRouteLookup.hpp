#pragma once

#include <optional>
#include <string>
#include <utility>

#include "Platform/DefaultRouteLookup.hpp"

namespace ostrel {

// Asks the kernel the way `ip route get` does (RTM_GETROUTE towards a public address, IPv4 then
// IPv6), so that policy routing such as a VPN's counts. The kernel's refusal (no route, or a
// blackhole, unreachable or prohibit route) is final; the main table in /proc/net/route is read
// only when rtnetlink cannot be asked at all, and its reject routes are skipped too. Each lookup
// opens its own socket, in the network namespace of the calling thread.
class NetlinkDefaultRouteLookup final : public DefaultRouteLookup {
public:
    explicit NetlinkDefaultRouteLookup(std::string procNetRoutePath = "/proc/net/route")
        : procNetRoutePath_(std::move(procNetRoutePath)) {}

    std::optional<std::string> defaultRouteInterface() override;

    // The lowest-metric default route of a /proc/net/route table that is up and leads to an
    // interface.
    static std::optional<std::string> parseProcNetRoute(const std::string& table);

private:
    std::string procNetRoutePath_;
};

}  // namespace ostrel
