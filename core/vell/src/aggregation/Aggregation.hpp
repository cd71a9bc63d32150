#pragma once

#include <cstdint>
#include <stdexcept>

#include "models/Models.hpp"

namespace ostrel::vell {

// A range that cannot be answered; what() is the message of the error object.
class AggregationError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bounds the response of one call. 105,408 points is a leap year at five minutes (366 x 288), about
// 7 MB of JSON: far beyond what the program asks for (under 48 hours of raw samples) and still
// small enough that one call cannot exhaust memory; hours then reach 12 years and days 288 years.
inline constexpr std::uint64_t kMaxPoints = 366 * 288;

// Totals of the samples within [start, end] (inclusive, to the nanosecond) and one point per UTC
// bucket from the bucket of start to the bucket of end, gaps filled with zeros.
// Throws AggregationError beyond kMaxPoints or when the last bucket cannot be passed.
AggregateResponse aggregateUsage(const AggregateRequest& request);

}  // namespace ostrel::vell
