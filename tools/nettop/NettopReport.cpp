#include "NettopReport.hpp"

#include <cstdio>
#include <map>
#include <set>
#include <string_view>

#include "Platform/Utf8.hpp"

namespace ostrel::nettop {
namespace {

std::uint64_t since(std::uint64_t current, std::optional<std::uint64_t> before) {
    // A counter below its previous value belongs to a socket that is not the one seen before.
    return before && current >= *before ? current - *before : current;
}

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a + b < a ? UINT64_MAX : a + b;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// A comma or line break in a process name would shift every later field of its line, and bytes
// that are not UTF-8 (a multi-byte name cut at the kernel's 15-byte limit) would make the reader
// reject the whole output.
std::string csvSafe(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const auto length = sequenceLength(c);
        if (c == ',' || c < 0x20 || c == 0x7f || !ostrel::isValidUtf8(name.substr(i, length))) {
            out.push_back('_');
            ++i;
            continue;
        }
        out.append(name.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace

Report buildReport(const std::vector<SocketCounters>& sockets, const std::optional<TrafficState>& previous,
                   SocketOwners& owners, std::uint64_t now) {
    Report report;
    std::map<int, ProcessTraffic> byPid;
    const auto count = [&](int pid, std::uint64_t in, std::uint64_t out) {
        auto& traffic = byPid[pid];
        traffic.pid = pid;
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
        const std::pair key{socket.inode, socket.cookie};
        SocketTotals next{socket.bytesReceived, socket.bytesSent};
        std::optional<SocketTotals> before;
        if (previous) {
            if (const auto found = previous->find(key); found != previous->end()) before = found->second;
        }
        if (before) {
            next.pid = before->pid;
            next.fd = before->fd;
            next.missedAt = before->missedAt;
        }
        const auto in = since(socket.bytesReceived, before ? std::optional(before->received) : std::nullopt);
        const auto out = since(socket.bytesSent, before ? std::optional(before->sent) : std::nullopt);
        auto& kept = report.next[key] = next;
        if (in == 0 && out == 0) {
            if (kept.pid == 0) noted.insert(socket.inode);
            continue;
        }
        if (kept.pid > 0 && owners.holds(SocketOwner{kept.pid, kept.fd}, socket.inode)) {
            count(kept.pid, in, out);
        } else if (kept.pid < 0 && now >= kept.missedAt && now - kept.missedAt < missedRetrySeconds) {
            continue;
        } else {
            wanted.insert(socket.inode);
            unplaced.push_back({&kept, socket.inode, in, out});
        }
    }
    if (!wanted.empty()) {
        const auto found = owners.find(wanted, noted);
        for (auto& [key, totals] : report.next) {
            if (const auto owner = found.find(key.first); owner != found.end()) {
                totals.pid = owner->second.pid;
                totals.fd = owner->second.fd;
                totals.missedAt = 0;
            }
        }
        for (const auto& socket : unplaced) {
            if (found.count(socket.inode) != 0) {
                count(socket.totals->pid, socket.in, socket.out);
            } else {
                *socket.totals = SocketTotals{socket.totals->received, socket.totals->sent, -1, -1, now};
            }
        }
    }
    for (auto& [pid, traffic] : byPid) {
        traffic.name = owners.name(pid);
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
