#pragma once

#include <string>

namespace ostrel {

// Replaces the running program with a new start of itself, in the same process: the same
// executable, arguments and environment. Descriptors opened close-on-exec (the instance lock,
// SQLite's files) close on the way, so the new start begins as any other. Returns only when that
// cannot be done, with the reason.
std::string restartThisProgram();

}  // namespace ostrel
