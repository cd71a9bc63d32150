#pragma once

#include <cstdint>
#include <vector>

#include "Model/Records.hpp"

namespace ostrel {

// Splits a tick's interface totals among applications; an empty result means "cannot say".
class TrafficAttributionProviding {
public:
    virtual ~TrafficAttributionProviding() = default;
    virtual std::vector<AppUsageAttribution> attributedUsage(std::int64_t totalRxBytes, std::int64_t totalTxBytes) = 0;
};

}  // namespace ostrel
