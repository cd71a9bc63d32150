#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SocketCounters.hpp"

namespace ostrel::nettop {

// The kernel announces every destroyed TCP socket with its final counters, to any listener of
// the socket-diagnostics destroy groups of the socket's network namespace; a run cannot see those
// sockets any more. A listener process keeps the announcements between runs: one per network
// namespace and state folder, answering at `path`, started by a run that finds none, holding at
// most `maxClosedSockets`, and ending when no run has asked it for `listenerIdleSeconds` or when
// its name is gone.
constexpr std::size_t maxClosedSockets = 16384;
constexpr int listenerIdleSeconds = 30;

// The sockets destroyed since the previous run, from the listener at `path`, which then keeps
// listening for the next; none when no listener of this network namespace (`netns`) answered, in
// which case the caller starts one. The caller holds the namespace's lock.
std::optional<std::vector<SocketCounters>> collectClosedSockets(const std::string& path, std::uint64_t netns);

// Starts the namespace's listener at `path` in a process of its own; false when it cannot listen.
bool startClosedSocketListener(const std::string& path, std::uint64_t netns);

}  // namespace ostrel::nettop
