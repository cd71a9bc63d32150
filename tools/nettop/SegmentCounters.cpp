#include "SegmentCounters.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <vector>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

// The words of the next line that begins with `prefix`, after `from`.
std::vector<std::string_view> lineOf(std::string_view text, std::string_view prefix, std::size_t& from) {
    std::vector<std::string_view> words;
    while (from < text.size()) {
        const auto end = std::min(text.find('\n', from), text.size());
        const auto line = text.substr(from, end - from);
        from = end + 1;
        if (!line.starts_with(prefix)) continue;
        for (std::size_t at = prefix.size(); at < line.size();) {
            const auto next = std::min(line.find(' ', at), line.size());
            if (next > at) words.push_back(line.substr(at, next - at));
            at = next + 1;
        }
        return words;
    }
    return words;
}

}  // namespace

std::optional<std::uint64_t> parseSegmentsSent(std::string_view snmp) {
    // A line of names, then a line of values.
    std::size_t from = 0;
    const auto names = lineOf(snmp, "Tcp:", from);
    const auto values = lineOf(snmp, "Tcp:", from);
    if (names.empty() || names.size() != values.size()) return std::nullopt;
    std::optional<std::uint64_t> sent, resent;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != "OutSegs" && names[i] != "RetransSegs") continue;
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(values[i].data(), values[i].data() + values[i].size(), value);
        if (error != std::errc() || end != values[i].data() + values[i].size()) return std::nullopt;
        (names[i] == "OutSegs" ? sent : resent) = value;
    }
    if (!sent || !resent) return std::nullopt;
    return *sent + *resent;
}

std::optional<std::uint64_t> readSegmentsSent(const std::string& snmpPath) {
    const UniqueFd fd(::open(snmpPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    // The whole table is a few kilobytes; a proc file answers in one read or few.
    char buffer[16384];
    std::size_t total = 0;
    while (total < sizeof buffer) {
        const ssize_t count = ::read(fd.get(), buffer + total, sizeof buffer - total);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        total += static_cast<std::size_t>(count);
    }
    return parseSegmentsSent(std::string_view(buffer, total));
}

}  // namespace ostrel::nettop
