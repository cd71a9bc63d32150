#include "NettopRun.hpp"

#include <map>

namespace ostrel::nettop {
namespace {

// The moving sockets read once more: their answers, and the namespace's segments sent just
// before and just after.
struct CloseReading {
    std::vector<SocketCounters> answers;
    std::uint64_t before = 0, after = 0;
};

std::optional<CloseReading> readClosely(KernelSockets& kernel, const std::vector<SocketCounters>& which) {
    if (which.size() > maxAskedSockets) return std::nullopt;
    CloseReading reading;
    const auto before = kernel.segmentsSent();
    auto answers = kernel.ask(which);
    const auto after = kernel.segmentsSent();
    if (!before || !answers || !after || *after < *before) return std::nullopt;
    reading.answers = std::move(*answers);
    reading.before = *before;
    reading.after = *after;
    return reading;
}

std::vector<SocketCounters> addressesOf(const std::map<std::uint64_t, SocketTotals>& sockets) {
    std::vector<SocketCounters> which;
    which.reserve(sockets.size());
    for (const auto& [cookie, totals] : sockets) {
        SocketCounters socket;
        socket.cookie = cookie;
        socket.address = totals.address;
        which.push_back(socket);
    }
    return which;
}

// The answers for every socket of `recent`, when they and the segment counts show that no
// other socket sent anything since the previous run.
std::optional<CloseReading> onlyTheMovingMoved(KernelSockets& kernel, const TrafficState& recent) {
    auto reading = readClosely(kernel, addressesOf(recent.sockets));
    if (!reading || reading->answers.size() != recent.sockets.size() || reading->after < recent.segmentsSent) {
        return std::nullopt;
    }
    std::uint64_t asked = 0;
    for (const auto& answer : reading->answers) {
        const auto before = recent.sockets.find(answer.cookie);
        if (before == recent.sockets.end()) return std::nullopt;
        // A count of 32 bits, which may have wrapped once since.
        asked += static_cast<std::uint32_t>(answer.segmentsOut - before->second.segmentsOut);
    }
    // Segments sent while the sockets were read may be in the namespace's count and not yet in
    // a socket's, or the other way round.
    const auto sent = reading->after - recent.segmentsSent;
    if (sent > asked + (reading->after - reading->before)) return std::nullopt;
    return reading;
}

void noteSegments(TrafficState& state, const std::optional<CloseReading>& reading) {
    state.segmentsSent = reading ? reading->after : 0;
    state.segmentsWindow = reading ? reading->after - reading->before : 0;
}

// The last walk's sockets, with those that moved since as the recent runs left them.
std::optional<TrafficState> previousOf(const TrafficState& recent, std::optional<TrafficState> walked) {
    if (!walked || walked->walk != recent.walk || walked->boot != recent.boot || walked->netns != recent.netns) {
        return std::nullopt;
    }
    for (const auto& [cookie, totals] : recent.sockets) walked->sockets[cookie] = totals;
    walked->links = recent.links;
    return walked;
}

}  // namespace

std::optional<RunOutcome> runOnce(KernelSockets& kernel, SocketOwners& owners,
                                  const std::vector<SocketCounters>& closed, const std::optional<TrafficState>& recent,
                                  const std::function<std::optional<TrafficState>()>& walked, std::uint64_t now,
                                  std::uint64_t mark) {
    RunOutcome outcome;
    if (recent && closed.empty() && now >= recent->walkedAt && now - recent->walkedAt < walkIntervalSeconds) {
        if (auto reading = onlyTheMovingMoved(kernel, *recent)) {
            auto report = buildReport(reading->answers, {}, kernel.links(), recent, owners, now);
            outcome.processes = std::move(report.processes);
            outcome.recent = std::move(report.next);
            noteSegments(outcome.recent, reading);
            outcome.recent.walkedAt = recent->walkedAt;
            outcome.recent.walk = recent->walk;
            return outcome;
        }
    }

    auto sockets = kernel.every();
    if (!sockets) return std::nullopt;
    const auto previous = recent ? previousOf(*recent, walked()) : std::nullopt;
    // The sockets that moved, once more between two readings of the segment counts; their bytes
    // since the walk read them belong to this run too.
    std::vector<SocketCounters> moving;
    if (previous) {
        for (const auto& socket : *sockets) {
            const auto before = previous->sockets.find(socket.cookie);
            if (before == previous->sockets.end() || before->second.bytesIn != socket.bytesIn ||
                before->second.bytesOut != socket.bytesOut || before->second.segmentsOut != socket.segmentsOut) {
                moving.push_back(socket);
            }
        }
    }
    const auto reading = readClosely(kernel, moving);
    if (reading) {
        std::map<std::uint64_t, const SocketCounters*> later;
        for (const auto& answer : reading->answers) later.emplace(answer.cookie, &answer);
        for (auto& socket : *sockets) {
            if (const auto found = later.find(socket.cookie); found != later.end()) socket = *found->second;
        }
    }
    auto report = buildReport(*sockets, closed, kernel.links(), previous, owners, now);
    outcome.processes = std::move(report.processes);
    outcome.walked = true;
    outcome.every = std::move(report.next);
    outcome.every.walkedAt = now;
    outcome.every.walk = mark;
    outcome.recent.links = outcome.every.links;
    for (const auto cookie : report.moved) outcome.recent.sockets.emplace(cookie, outcome.every.sockets.at(cookie));
    // Without a close reading the count is 0, and the next run cannot tell what other sockets
    // sent: it walks.
    noteSegments(outcome.recent, reading);
    outcome.recent.walkedAt = now;
    outcome.recent.walk = mark;
    return outcome;
}

}  // namespace ostrel::nettop
