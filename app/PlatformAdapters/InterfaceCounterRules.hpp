#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

// How interface counters become traffic, shared by the sampler and the per-process tool so that
// both count the same bytes.
namespace ostrel::interfaces {

// Interfaces whose traffic a physical interface also carries, or that never leave the machine.
inline bool isSkipped(std::string_view name) {
    static constexpr std::array<std::string_view, 11> prefixes = {"lo", "awdl",  "llw", "anpi", "veth", "docker",
                                                                  "br", "virbr", "tun", "tap",  "wg"};
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [name](std::string_view prefix) { return name.starts_with(prefix); });
}

// The bytes between two readings of a counter that may have wrapped at 32 bits.
inline std::uint64_t counterDelta(std::uint64_t current, std::uint64_t previous) {
    constexpr std::uint64_t largest32 = 4294967295ULL;
    if (current >= previous) return current - previous;
    if (previous <= largest32) return current + (largest32 + 1) - previous;
    return 0;
}

}  // namespace ostrel::interfaces
