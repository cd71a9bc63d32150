#pragma once

#include <string>

namespace ostrel {

// A new random UUID in its 36-character upper-case text form.
std::string makeUuidString();

}  // namespace ostrel
