#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Model/Date.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/ToolRunner.hpp"

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

// Bytes each interface moved since the previous reading (the baseline). Used from the sampling
// queue only.
class TrafficMonitorAdapter final {
public:
    TrafficMonitorAdapter(std::unique_ptr<InterfaceCounterSource> counterSource, std::shared_ptr<ToolRunner> toolRunner,
                          std::string routeToolPath, std::function<Date()> clock = currentDate);

    TrafficSnapshot sample();
    InterfaceCounters readInterfaceCounters();
    std::optional<std::string> defaultRouteInterface();
    std::optional<std::string> runCommand(const std::string& path, const std::vector<std::string>& arguments);

    const InterfaceCounters& previousCounters() const { return previousCounters_; }
    void setPreviousCounters(InterfaceCounters counters) { previousCounters_ = std::move(counters); }

    // Interfaces whose traffic a physical interface also carries, or that never leave the machine.
    static bool isSkippedInterface(const std::string& name);
    // The bytes between two readings of a counter that may have wrapped at 32 bits.
    static std::uint64_t counterDelta(std::uint64_t current, std::uint64_t previous);
    // The "interface:" line of the route tool's output.
    static std::optional<std::string> parseRouteOutput(const std::string& output);

private:
    InterfaceCounters previousCounters_;
    std::unique_ptr<InterfaceCounterSource> counterSource_;
    std::shared_ptr<ToolRunner> toolRunner_;
    std::string routeToolPath_;
    std::function<Date()> clock_;
};

}  // namespace ostrel
