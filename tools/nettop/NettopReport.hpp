#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "ProcessSockets.hpp"
#include "SocketCounters.hpp"
#include "TrafficState.hpp"

namespace ostrel::nettop {

struct ProcessTraffic {
    int pid = 0;
    std::string name;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;

    bool operator==(const ProcessTraffic&) const = default;
};

struct Report {
    std::vector<ProcessTraffic> processes;  // every process whose sockets moved bytes, by pid
    TrafficState next;                      // the counters and owners to start the next run from
};

// A socket that no visible process held is looked for again after this many seconds: it may
// have been caught between accept() and its descriptor, or passed on.
constexpr std::uint64_t missedRetrySeconds = 5;

// What each process's sockets moved since the previous run; a socket the previous run did not
// see (or a first run, with no previous state) counts everything since it opened. Only sockets
// that moved bytes are placed: an owner the previous run found is confirmed, and the processes
// are walked only for sockets that cannot be placed so. `now` is in seconds since boot.
Report buildReport(const std::vector<SocketCounters>& sockets, const std::optional<TrafficState>& previous,
                   SocketOwners& owners, std::uint64_t now);

// nettop's CSV: a header whose process column has an empty name, then "time,name.pid,,,in,out".
std::string formatCsv(const std::vector<ProcessTraffic>& processes, const std::string& timeOfDay);
// Local wall-clock time as HH:MM:SS.ffffff.
std::string timeOfDay(const timespec& now);

}  // namespace ostrel::nettop
