#pragma once

#include <string>

namespace ostrel {

// The running program's absolute path, symbolic links resolved; empty when the kernel does not
// say (no /proc).
std::string currentExecutablePath();

}  // namespace ostrel
