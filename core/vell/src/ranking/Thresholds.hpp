#pragma once

#include "models/Models.hpp"

namespace ostrel::vell {

// Danger before warning; a threshold of 0 is not set; the ratio is always against the warning.
ThresholdResponse evaluateThresholds(const ThresholdRequest& request);

}  // namespace ostrel::vell
