#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// How a child process started by runChild ended.
struct ChildRun {
    enum class End {
        notStarted,     // `startError` tells why, when posix_spawn said
        exited,         // `status` is waitpid's
        timedOut,       // killed with its process group at the time limit
        tooMuchOutput,  // killed once it printed more than the limit
        failed,         // waiting for it failed; it was killed
    };
    End end = End::notStarted;
    int status = -1;
    int startError = 0;
    std::string output;
};

// Starts `path` with posix_spawn (no shell, no search path) in a process group of its own, with
// default signal handling, an empty signal mask and standard input from /dev/null, and drains
// its standard output and standard error while it runs. Its standard output is kept in the
// answer up to `outputLimit` bytes when that is given, and read and dropped otherwise. A child
// still running at the time limit, or past the output limit, is killed with its group and reaped.
ChildRun runChild(const std::string& path, const std::vector<std::string>& arguments,
                  std::chrono::milliseconds timeLimit, std::optional<std::size_t> outputLimit);

}  // namespace ostrel
