#pragma once

#include <cstdint>

#include "models/Models.hpp"

namespace ostrel::vell {

std::int64_t bucketLengthSeconds(BucketSize size);

// Start of the UTC bucket holding the instant; always a whole second.
Timestamp floorToBucket(Timestamp instant, BucketSize size);

}  // namespace ostrel::vell
