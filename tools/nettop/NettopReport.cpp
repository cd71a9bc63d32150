#include "NettopReport.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string_view>

#include "Platform/Utf8.hpp"
#include "PlatformAdapters/InterfaceCounterRules.hpp"

namespace ostrel::nettop {
namespace {

// A socket is known by its cookie for its whole life, so a counter below its previous value has
// wrapped (the segment counts are 32-bit): nothing is counted rather than everything.
std::uint64_t since(std::uint64_t current, std::uint64_t before) {
    return current >= before ? current - before : 0;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a + b < a ? UINT64_MAX : a + b;
}

SocketTotals unowned(const SocketCounters& socket) {
    return {socket.bytesIn, socket.bytesOut, 0, -1, 0, {}, socket.segmentsOut, socket.local, socket.address};
}

// What the counted interfaces moved between two runs; interfaces new since then count nothing.
std::pair<std::uint64_t, std::uint64_t> interfaceTraffic(const std::map<std::string, LinkTotals>& current,
                                                         const std::map<std::string, LinkTotals>& previous) {
    std::uint64_t in = 0, out = 0;
    for (const auto& [name, now] : current) {
        const auto before = previous.find(name);
        if (interfaces::isSkipped(name) || before == previous.end()) continue;
        in = saturatingAdd(in, interfaces::counterDelta(now.rx, before->second.rx));
        out = saturatingAdd(out, interfaces::counterDelta(now.tx, before->second.tx));
    }
    return {in, out};
}

// A comma or line break in a process name would shift every later field of its line, and bytes
// that are not UTF-8 (a multi-byte name cut at the kernel's 15-byte limit) would make the reader
// reject the whole output.
std::string csvSafe(std::string_view name) {
    std::string out = ostrel::utf8Repaired(name, "_");
    std::replace_if(
        out.begin(), out.end(),
        [](char c) { return c == ',' || static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7f; },
        '_');
    return out;
}

}  // namespace

Report buildReport(const std::vector<SocketCounters>& sockets, const std::vector<SocketCounters>& closed,
                   const std::vector<LinkCounters>& links, const std::optional<TrafficState>& previous,
                   SocketOwners& owners, std::uint64_t now) {
    Report report;
    for (const auto& link : links) report.next.links[link.name] = {link.rxBytes, link.txBytes};
    if (!previous) {
        for (const auto& socket : sockets) report.next.sockets[socket.cookie] = unowned(socket);
        return report;
    }

    std::map<int, ProcessTraffic> byPid;
    const auto count = [&](const SocketTotals& owner, std::uint64_t in, std::uint64_t out) {
        if (in == 0 && out == 0) return;
        auto& traffic = byPid[owner.pid];
        traffic.pid = owner.pid;
        if (traffic.name.empty()) traffic.name = owner.name;
        traffic.bytesIn = saturatingAdd(traffic.bytesIn, in);
        traffic.bytesOut = saturatingAdd(traffic.bytesOut, out);
    };
    struct Unplaced {
        SocketTotals* totals;
        std::uint64_t inode, in, out;
    };
    std::vector<Unplaced> unplaced;
    std::set<std::uint64_t> wanted, noted;
    for (const auto& socket : sockets) {
        auto next = unowned(socket);
        std::uint64_t in = socket.bytesIn, out = socket.bytesOut;
        bool moved = in > 0 || out > 0;
        if (const auto found = previous->sockets.find(socket.cookie); found != previous->sockets.end()) {
            const auto& before = found->second;
            next.pid = before.pid, next.fd = before.fd, next.missedAt = before.missedAt, next.name = before.name;
            in = since(socket.bytesIn, before.bytesIn);
            out = since(socket.bytesOut, before.bytesOut);
            moved = in > 0 || out > 0 || socket.segmentsOut != before.segmentsOut;
        }
        if (moved) report.moved.push_back(socket.cookie);
        auto& kept = report.next.sockets[socket.cookie] = std::move(next);
        if (socket.local) continue;
        if (in == 0 && out == 0) {
            if (kept.pid == 0 && socket.inode != 0) noted.insert(socket.inode);
            continue;
        }
        if (socket.inode == 0) {
            // No descriptor is left to find: the owner is the one recorded, if any.
            if (kept.pid > 0) count(kept, in, out);
        } else if (kept.pid > 0 && owners.holds(SocketOwner{kept.pid, kept.fd}, socket.inode)) {
            count(kept, in, out);
        } else if (kept.pid < 0 && now >= kept.missedAt && now - kept.missedAt < missedRetrySeconds) {
            continue;
        } else {
            wanted.insert(socket.inode);
            unplaced.push_back({&kept, socket.inode, in, out});
        }
    }
    if (!wanted.empty()) {
        const auto found = owners.find(wanted, noted);
        std::map<int, std::string> names;
        const auto nameOf = [&](int pid) -> const std::string& {
            auto [at, added] = names.try_emplace(pid);
            if (added) at->second = owners.name(pid);
            return at->second;
        };
        std::map<std::uint64_t, std::uint64_t> cookieOf;
        for (const auto& socket : sockets) cookieOf.emplace(socket.inode, socket.cookie);
        for (const auto& [inode, owner] : found) {
            const auto cookie = cookieOf.find(inode);
            if (cookie == cookieOf.end()) continue;
            const auto totals = report.next.sockets.find(cookie->second);
            if (totals == report.next.sockets.end()) continue;
            totals->second.pid = owner.pid;
            totals->second.fd = owner.fd;
            totals->second.missedAt = 0;
            totals->second.name = nameOf(owner.pid);
        }
        for (const auto& socket : unplaced) {
            if (found.count(socket.inode) != 0) {
                count(*socket.totals, socket.in, socket.out);
            } else {
                socket.totals->pid = -1, socket.totals->fd = -1, socket.totals->missedAt = now;
                socket.totals->name.clear();
            }
        }
    }

    for (const auto& socket : closed) {
        const auto before = previous->sockets.find(socket.cookie);
        if (before == previous->sockets.end() || before->second.pid <= 0 || report.next.sockets.count(socket.cookie)) {
            continue;
        }
        count(before->second, since(socket.bytesIn, before->second.bytesIn),
              since(socket.bytesOut, before->second.bytesOut));
    }

    // What the counted interfaces moved beyond the sockets of visible processes is unseen.
    auto [unseenIn, unseenOut] = interfaceTraffic(report.next.links, previous->links);
    std::vector<ProcessTraffic> processes;
    processes.reserve(byPid.size());
    for (auto& [pid, traffic] : byPid) {
        unseenIn -= std::min(unseenIn, traffic.bytesIn);
        unseenOut -= std::min(unseenOut, traffic.bytesOut);
        processes.push_back(std::move(traffic));
    }
    if (processes.size() > maxProcessRows) {
        const auto larger = [](const ProcessTraffic& a, const ProcessTraffic& b) {
            const auto sumA = saturatingAdd(a.bytesIn, a.bytesOut), sumB = saturatingAdd(b.bytesIn, b.bytesOut);
            return sumA != sumB ? sumA > sumB : a.pid < b.pid;
        };
        std::nth_element(processes.begin(), processes.begin() + maxProcessRows, processes.end(), larger);
        for (auto rest = processes.begin() + maxProcessRows; rest != processes.end(); ++rest) {
            unseenIn = saturatingAdd(unseenIn, rest->bytesIn);
            unseenOut = saturatingAdd(unseenOut, rest->bytesOut);
        }
        processes.resize(maxProcessRows);
        std::sort(processes.begin(), processes.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    }
    if (unseenIn > 0 || unseenOut > 0) report.processes.push_back({unseenPid, unseenName, unseenIn, unseenOut});
    for (auto& traffic : processes) {
        if (auto live = owners.name(traffic.pid); !live.empty()) traffic.name = std::move(live);
        report.processes.push_back(std::move(traffic));
    }
    return report;
}

std::string formatCsv(const std::vector<ProcessTraffic>& processes, const std::string& time) {
    std::string out = "time,,interface,state,bytes_in,bytes_out\n";
    for (const auto& process : processes) {
        // The parser reads signed 64-bit counts.
        const auto in = std::min<std::uint64_t>(process.bytesIn, INT64_MAX);
        const auto out64 = std::min<std::uint64_t>(process.bytesOut, INT64_MAX);
        out += time + ',' + csvSafe(process.name) + '.' + std::to_string(process.pid) + ",,," + std::to_string(in) +
               ',' + std::to_string(out64) + '\n';
    }
    return out;
}

std::string timeOfDay(const timespec& now) {
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06ld", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long>(now.tv_nsec / 1000));
    return text;
}

}  // namespace ostrel::nettop
