#pragma once

#include <cstdint>
#include <limits>

namespace ostrel {

// Byte counts never come near the limits; a provider or tool gone wrong must not make the sums
// undefined, so they saturate.
inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

}  // namespace ostrel
