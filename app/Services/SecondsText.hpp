#pragma once

#include <string>

#include "Model/Date.hpp"

namespace ostrel {

// Seconds since 1 January 1970 (UTC) as the double's shortest decimal text that reads back as
// the same double, always with a fractional part: 0.0, 10.5, 1767225600.123.
std::string secondsSince1970Text(Date date);

}  // namespace ostrel
