#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "NettopReport.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "ProcessSockets.hpp"
#include "SegmentCounters.hpp"
#include "SocketCounters.hpp"
#include "TrafficState.hpp"

namespace ostrel::nettop {

// The kernel as a run asks it; tests script it.
class KernelSockets {
public:
    virtual ~KernelSockets() = default;
    // Every TCP socket of the namespace: the cost grows with every socket of the machine.
    virtual std::optional<std::vector<SocketCounters>> every() = 0;
    // Only these sockets (those still there): the cost grows with their number alone.
    virtual std::optional<std::vector<SocketCounters>> ask(const std::vector<SocketCounters>& which) = 0;
    // The namespace's TCP segments sent so far.
    virtual std::optional<std::uint64_t> segmentsSent() = 0;
    // The interfaces' counters, read after the sockets: what the sockets moved until they were
    // read is in them, so that the interfaces' bytes beyond the sockets' are not counted short.
    virtual std::vector<LinkCounters> links() = 0;
};

// The kernel of the calling process's network namespace.
class NamespaceSockets final : public KernelSockets {
public:
    std::optional<std::vector<SocketCounters>> every() override { return readTcpSocketCounters(); }
    std::optional<std::vector<SocketCounters>> ask(const std::vector<SocketCounters>& which) override {
        return askTcpSockets(which);
    }
    std::optional<std::uint64_t> segmentsSent() override { return readSegmentsSent(); }
    std::vector<LinkCounters> links() override { return GetifaddrsCounterSource().read(); }
};

// A run walks through every socket at least this often, whatever the segment counts say: a
// segment sent while the moving sockets are read comes no later than this.
constexpr std::uint64_t walkIntervalSeconds = 30;
// Asking for one socket costs about as much as four sockets of a walk: beyond this many, a run
// walks instead (as after a few thousand connections were opened at once).
constexpr std::size_t maxAskedSockets = 1024;

struct RunOutcome {
    std::vector<ProcessTraffic> processes;
    bool walked = false;
    TrafficState recent;  // saved by every run
    TrafficState every;   // saved when the run walked through every socket
};

// One run. Walking through every socket costs in proportion to every socket of the machine, and
// nearly always only a few move. So a run first asks again only for the sockets that moved since
// the last walk, between two readings of the namespace's segments sent; when those sockets sent
// all that the namespace sent since the previous run (less what may have been sent while they
// were read), no other socket moved, and those answers are the run. Otherwise, and when
// sockets were destroyed, the state is of another boot or namespace, the last walk is
// `walkIntervalSeconds` old or more than `maxAskedSockets` moved, it walks through every socket
// as before, and asks the moving ones once more at the end, so that the next run has a baseline
// read between two close readings.
// A segment that another socket sends while the sockets are read may so be counted a run or a
// walk later; none is lost.
//
// `recent` is the state of the previous run (this boot and namespace), `walked` gives the state
// of the last walk when a walk needs it. `now` is in seconds since boot; `mark` tells this walk
// apart from any other of the namespace. None when the kernel cannot be asked.
std::optional<RunOutcome> runOnce(KernelSockets& kernel, SocketOwners& owners,
                                  const std::vector<SocketCounters>& closed, const std::optional<TrafficState>& recent,
                                  const std::function<std::optional<TrafficState>()>& walked, std::uint64_t now,
                                  std::uint64_t mark);

}  // namespace ostrel::nettop
