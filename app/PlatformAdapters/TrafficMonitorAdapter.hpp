#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Platform/DefaultRouteLookup.hpp"
#include "Platform/InterfaceCounterSource.hpp"

namespace ostrel {

struct InterfaceCounterPair {
    std::uint64_t rx = 0;
    std::uint64_t tx = 0;

    bool operator==(const InterfaceCounterPair&) const = default;
};

using InterfaceCounters = std::map<std::string, InterfaceCounterPair>;

struct InterfaceTrafficDelta {
    std::string interface;
    std::int64_t rxBytes = 0;
    std::int64_t txBytes = 0;

    bool operator==(const InterfaceTrafficDelta&) const = default;
};

struct TrafficSnapshot {
    Date timestamp{};
    std::vector<InterfaceTrafficDelta> deltas;
    std::int64_t totalRxBytes = 0;
    std::int64_t totalTxBytes = 0;
    std::optional<std::string> primaryInterface;
};

// Bytes each interface moved since the previous reading (the baseline), and the interface of the
// default route. Used from the sampling queue only.
class TrafficMonitorAdapter final {
public:
    TrafficMonitorAdapter(std::unique_ptr<InterfaceCounterSource> counterSource,
                          std::unique_ptr<DefaultRouteLookup> routeLookup, std::function<Date()> clock = currentDate);

    TrafficSnapshot sample();
    InterfaceCounters readInterfaceCounters();
    // Asked in-process, once per snapshot.
    std::optional<std::string> defaultRouteInterface();

    const InterfaceCounters& previousCounters() const { return previousCounters_; }
    void setPreviousCounters(InterfaceCounters counters) { previousCounters_ = std::move(counters); }

    // Interfaces whose traffic a physical interface also carries, or that never leave the machine.
    static bool isSkippedInterface(const std::string& name);
    // The bytes between two readings of a counter that may have wrapped at 32 bits.
    static std::uint64_t counterDelta(std::uint64_t current, std::uint64_t previous);

private:
    InterfaceCounters previousCounters_;
    std::unique_ptr<InterfaceCounterSource> counterSource_;
    std::unique_ptr<DefaultRouteLookup> routeLookup_;
    std::function<Date()> clock_;
};

}  // namespace ostrel
