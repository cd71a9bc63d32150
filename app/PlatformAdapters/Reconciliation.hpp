#pragma once

#include <cstdint>
#include <vector>

#include "Model/Records.hpp"

namespace ostrel::reconciliation {

enum class Direction { receive, send };

// Rescales the attributions so that each direction adds up exactly to the interface total,
// keeping the reported proportions; every other field is kept.
std::vector<AppUsageAttribution> normalize(const std::vector<AppUsageAttribution>& attributions, std::int64_t totalRx,
                                           std::int64_t totalTx);

// One weight per attribution, adding up to 1: by the preferred direction, else by both
// directions together, else equal.
std::vector<double> attributionWeights(const std::vector<AppUsageAttribution>& attributions, Direction preferDirection);

// Splits `targetTotal` in proportion to `sourceValues` (or to `fallbackWeights` when the sources
// sum to nothing); the rounding remainder goes to the first of the largest parts.
std::vector<std::int64_t> distribute(std::int64_t targetTotal, const std::vector<std::int64_t>& sourceValues,
                                     std::int64_t sourceTotal, const std::vector<double>& fallbackWeights);

}  // namespace ostrel::reconciliation
