#include "Platform/ProcessToolRunner.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include "Platform/ChildRun.hpp"
#include "Platform/Utf8.hpp"

namespace ostrel {

ProcessToolRunner::ProcessToolRunner(std::chrono::milliseconds timeLimit, std::size_t outputLimit)
    : timeLimit_(timeLimit), outputLimit_(outputLimit) {}

std::optional<std::string> ProcessToolRunner::runCommand(const std::string& path,
                                                         const std::vector<std::string>& arguments) {
    // Tools that do not exist here are asked for on every tick; finding that out must not cost
    // a child process each time.
    if (path.empty() || path.front() != '/' || ::access(path.c_str(), X_OK) != 0) {
        return std::nullopt;
    }
    ChildRun run = runChild(path, arguments, timeLimit_, outputLimit_);
    if (run.end != ChildRun::End::exited || !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return std::nullopt;
    }
    if (!isValidUtf8(run.output)) {
        return std::nullopt;
    }
    return std::move(run.output);
}

}  // namespace ostrel
