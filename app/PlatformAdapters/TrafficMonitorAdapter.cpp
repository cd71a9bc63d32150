#include "PlatformAdapters/TrafficMonitorAdapter.hpp"

#include <algorithm>
#include <limits>
#include <string_view>

#include "PlatformAdapters/InterfaceCounterRules.hpp"
#include "PlatformAdapters/SaturatingAdd.hpp"

namespace ostrel {
namespace {

std::int64_t toSigned(std::uint64_t value) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min(value, kMax));
}

std::string_view trim(std::string_view text, std::string_view blanks) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

TrafficMonitorAdapter::TrafficMonitorAdapter(std::unique_ptr<InterfaceCounterSource> counterSource,
                                             std::shared_ptr<ToolRunner> toolRunner, std::string routeToolPath,
                                             std::function<Date()> clock)
    : counterSource_(std::move(counterSource)),
      toolRunner_(std::move(toolRunner)),
      routeToolPath_(std::move(routeToolPath)),
      clock_(std::move(clock)) {}

InterfaceCounters TrafficMonitorAdapter::readInterfaceCounters() {
    InterfaceCounters counters;
    for (const auto& link : counterSource_->read()) {
        counters[link.name] = {link.rxBytes, link.txBytes};
    }
    return counters;
}

bool TrafficMonitorAdapter::isSkippedInterface(const std::string& name) {
    return interfaces::isSkipped(name);
}

std::uint64_t TrafficMonitorAdapter::counterDelta(std::uint64_t current, std::uint64_t previous) {
    return interfaces::counterDelta(current, previous);
}

TrafficSnapshot TrafficMonitorAdapter::sample() {
    InterfaceCounters current = readInterfaceCounters();
    TrafficSnapshot snapshot;
    for (const auto& [name, pair] : current) {
        if (isSkippedInterface(name)) {
            continue;
        }
        const auto previous = previousCounters_.find(name);
        const InterfaceCounterPair& before = previous == previousCounters_.end() ? pair : previous->second;
        const std::uint64_t rx = counterDelta(pair.rx, before.rx);
        const std::uint64_t tx = counterDelta(pair.tx, before.tx);
        if (rx == 0 && tx == 0) {
            continue;
        }
        snapshot.deltas.push_back({name, toSigned(rx), toSigned(tx)});
    }
    previousCounters_ = std::move(current);

    snapshot.primaryInterface = defaultRouteInterface();
    if (!snapshot.primaryInterface && !snapshot.deltas.empty()) {
        const InterfaceTrafficDelta* largest = &snapshot.deltas.front();
        for (const auto& delta : snapshot.deltas) {
            if (saturatingAdd(delta.rxBytes, delta.txBytes) > saturatingAdd(largest->rxBytes, largest->txBytes)) {
                largest = &delta;
            }
        }
        snapshot.primaryInterface = largest->interface;
    }
    for (const auto& delta : snapshot.deltas) {
        snapshot.totalRxBytes = saturatingAdd(snapshot.totalRxBytes, delta.rxBytes);
        snapshot.totalTxBytes = saturatingAdd(snapshot.totalTxBytes, delta.txBytes);
    }
    snapshot.timestamp = clock_();
    return snapshot;
}

std::optional<std::string> TrafficMonitorAdapter::parseRouteOutput(const std::string& output) {
    constexpr std::string_view kKey = "interface:";
    std::string_view rest = output;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trim(rest.substr(0, end), " \t");
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.starts_with(kKey)) {
            continue;
        }
        std::string value;
        std::string_view remaining = line;
        for (auto at = remaining.find(kKey); at != std::string_view::npos; at = remaining.find(kKey)) {
            value.append(remaining.substr(0, at));
            remaining.remove_prefix(at + kKey.size());
        }
        value.append(remaining);
        return std::string(trim(value, " \t\n\r\v\f"));
    }
    return std::nullopt;
}

std::optional<std::string> TrafficMonitorAdapter::defaultRouteInterface() {
    const auto output = runCommand(routeToolPath_, {"-n", "get", "default"});
    if (!output) {
        return std::nullopt;
    }
    return parseRouteOutput(*output);
}

std::optional<std::string> TrafficMonitorAdapter::runCommand(const std::string& path,
                                                             const std::vector<std::string>& arguments) {
    return toolRunner_->runCommand(path, arguments);
}

}  // namespace ostrel
