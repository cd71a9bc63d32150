#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Model/Records.hpp"
#include "PlatformAdapters/TrafficAttributionProviding.hpp"

namespace ostrel {

// Asks its providers in order; when none can split the tick, the whole tick goes to one
// "Unattributed" entry, so the result is never empty.
class TrafficAttributionLayer final {
public:
    explicit TrafficAttributionLayer(std::vector<std::shared_ptr<TrafficAttributionProviding>> providers);

    std::vector<AppUsageAttribution> attributedUsage(std::int64_t totalRxBytes, std::int64_t totalTxBytes);

    // The entry for traffic no application can be named for.
    static AppUsageAttribution unattributed(std::int64_t rxBytes, std::int64_t txBytes);

private:
    std::vector<std::shared_ptr<TrafficAttributionProviding>> providers_;
};

}  // namespace ostrel
