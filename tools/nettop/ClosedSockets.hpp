#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SocketCounters.hpp"

namespace ostrel::nettop {

// The kernel announces every destroyed TCP socket with its final counters, to any listener of
// the socket-diagnostics destroy groups; a run cannot see those sockets any more. A listener
// process keeps the announcements between runs: one per state folder, started by a run that finds
// none, holding at most `maxClosedSockets`, and ending when no run has asked it for
// `listenerIdleSeconds` or when its folder is gone.
constexpr std::size_t maxClosedSockets = 16384;
constexpr int listenerIdleSeconds = 30;

// The sockets destroyed since the previous run, from the folder's listener, which then keeps
// listening for the next; none when no listener of this network namespace answered, in which case
// the caller starts one. The caller holds the folder's lock.
std::optional<std::vector<SocketCounters>> collectClosedSockets(const std::string& directory, std::uint64_t netns);

// Starts the folder's listener in a process of its own; false when it cannot listen.
bool startClosedSocketListener(const std::string& directory, std::uint64_t netns);

}  // namespace ostrel::nettop
