#pragma once

#include <optional>
#include <string>

#include "Model/Records.hpp"

namespace ostrel {

class OstrelRepository;

struct TodaysLeaders {
    std::optional<std::string> activeNetwork;
    std::optional<std::string> topApp;
    std::optional<std::string> topNetwork;
};

// The active network and today's first application and network, read one way for the menu bar
// and the Daily overview so that both name the same: a sample whose network row is gone still
// counts for its application. Whole past hours come from the hourly roll-ups where those provably
// hold the same sums.
TodaysLeaders todaysLeaders(OstrelRepository& repository, const DateRange& today);

}  // namespace ostrel
