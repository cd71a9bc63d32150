#pragma once

#include "models/Models.hpp"

namespace ostrel::vell {

// Groups the samples by network or application (label of the first sample seen), largest total
// first; shares are taken over every entity before the list is cut to `limit` (0 keeps all).
// Entities with equal totals keep the order in which they were first seen.
RankingResponse rankEntities(const RankingRequest& request);

}  // namespace ostrel::vell
