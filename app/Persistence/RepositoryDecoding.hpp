#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Model/Date.hpp"
#include "Model/Enums.hpp"
#include "Model/Records.hpp"
#include "Model/ScreenModels.hpp"

namespace ostrel {

// How the repository's queries read stored values back. Unreadable values never fail a query:
// they fall back as stated for each.

// A stored time stamp: the program's own form, else the form without a fraction (older builds,
// other tools); NULL or anything else is `now`.
Date parseDate(const std::optional<std::string>& text, Date now);

// Unknown stored texts: a network type reads as `other`, a resolution state (or NULL) as
// `unavailable`.
NetworkType storedNetworkType(std::string_view text);
NetworkResolutionState storedResolutionState(const std::optional<std::string>& text);

// Each row's share of the rows given (received plus sent, or total bytes); all shares stay 0
// when that sum is not above 0. Sums are taken in double precision, so counts near the int64
// limit cannot overflow.
std::vector<RankedUsage> withShare(std::vector<RankedUsage> rows);
std::vector<ApplicationListItem> withAppShare(std::vector<ApplicationListItem> rows);

}  // namespace ostrel
