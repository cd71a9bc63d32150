#pragma once

#include <compare>
#include <cstdint>

namespace ostrel::vell {

// A UTC instant to the nanosecond. Whole seconds are kept apart from the fraction so that every
// RFC 3339 year from 0000 to 9999 fits, which 64-bit nanoseconds since 1970 would not.
struct Timestamp {
    std::int64_t seconds = 0;  // since 1970-01-01T00:00:00Z
    std::uint32_t nanos = 0;   // 0 ... 999'999'999

    friend constexpr auto operator<=>(const Timestamp&, const Timestamp&) = default;
};

}  // namespace ostrel::vell
