#include "PlatformAdapters/TrafficMonitorAdapter.hpp"

#include <algorithm>
#include <limits>
#include <string_view>

#include "Model/SaturatingAdd.hpp"
#include "PlatformAdapters/InterfaceCounterRules.hpp"

namespace ostrel {
namespace {

std::int64_t toSigned(std::uint64_t value) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(std::min(value, kMax));
}

}  // namespace

TrafficMonitorAdapter::TrafficMonitorAdapter(std::unique_ptr<InterfaceCounterSource> counterSource,
                                             std::unique_ptr<DefaultRouteLookup> routeLookup,
                                             std::function<Date()> clock)
    : counterSource_(std::move(counterSource)), routeLookup_(std::move(routeLookup)), clock_(std::move(clock)) {}

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
    snapshot.timestamp = clock_();  // the snapshot is complete: after the route lookup
    return snapshot;
}

std::optional<std::string> TrafficMonitorAdapter::defaultRouteInterface() {
    return routeLookup_->defaultRouteInterface();
}

}  // namespace ostrel
