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
    std::vector<ProcessTraffic> processes;  // every process owning a TCP socket, by pid
    TrafficState next;                      // the counters to compare the next run with
};

// What each process's sockets moved since the previous run; a socket the previous run did not
// see (or a first run, with no previous state) counts everything since it opened.
Report buildReport(const std::vector<SocketCounters>& sockets, const ProcessSockets& owners,
                   const std::optional<TrafficState>& previous);

// nettop's CSV: a header whose process column has an empty name, then "time,name.pid,,,in,out".
std::string formatCsv(const std::vector<ProcessTraffic>& processes, const std::string& timeOfDay);
// Local wall-clock time as HH:MM:SS.ffffff.
std::string timeOfDay(const timespec& now);

}  // namespace ostrel::nettop
