#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "Platform/InterfaceCounterSource.hpp"
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

// The row of bytes the interfaces moved that no socket of a visible process explains: UDP and
// other protocols, other users' traffic, connections that opened and closed between two runs.
constexpr int unseenPid = 0;
constexpr const char* unseenName = "unattributed";

// The sampler keeps the first 12 rows it reads and scales them up to the interface totals, so
// the processes beyond the 11 largest go into the unseen row: then every byte is in a row it
// keeps, and nobody is credited with another's bytes.
constexpr std::size_t maxProcessRows = 11;

struct Report {
    std::vector<ProcessTraffic> processes;  // by pid, the unseen row first when there is one
    TrafficState next;                      // the counters and owners to start the next run from
    std::vector<std::uint64_t> moved;       // the sockets, local ones too, that sent or received anything
};

// A socket that no visible process held is looked for again after this many seconds: it may
// have been caught between accept() and its descriptor, or passed on.
constexpr std::uint64_t missedRetrySeconds = 5;

// What each process's sockets put on the wire since the previous run, and the unseen row: what
// the counted interfaces (the sampler's, with its skip rules) moved beyond that. A socket the
// previous run did not see counts everything since it opened. Only sockets that moved bytes are
// placed: an owner the previous run found is confirmed, and the processes are walked only for
// sockets that cannot be placed so; a socket closed with data still queued stays its recorded
// owner's, and so do the last bytes of a socket destroyed since the previous run (`closed`, with
// final counters). Sockets between two ends on this machine are kept for their segments but never
// counted, as their bytes cross no counted interface. Sockets missing from `sockets` are gone from
// the next state. At most `maxProcessRows` processes are reported, the largest; the bytes of
// the others are added to the unseen row. Without a previous state the run only sets the
// baseline and reports nothing. `now` is in seconds since boot.
Report buildReport(const std::vector<SocketCounters>& sockets, const std::vector<SocketCounters>& closed,
                   const std::vector<LinkCounters>& links, const std::optional<TrafficState>& previous,
                   SocketOwners& owners, std::uint64_t now);

// nettop's CSV: a header whose process column has an empty name, then "time,name.pid,,,in,out".
std::string formatCsv(const std::vector<ProcessTraffic>& processes, const std::string& timeOfDay);
// Local wall-clock time as HH:MM:SS.ffffff.
std::string timeOfDay(const timespec& now);

}  // namespace ostrel::nettop
