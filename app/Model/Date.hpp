#pragma once

#include <chrono>

namespace ostrel {

// An absolute instant with sub-second precision.
using Date = std::chrono::sys_time<std::chrono::nanoseconds>;

inline Date currentDate() {
    return std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
}

}  // namespace ostrel
