#include "Platform/LibraryTrial.hpp"

#include <sys/wait.h>

#include <cstring>
#include <utility>

#include "Platform/ChildRun.hpp"

namespace ostrel {

HelperLibraryTrial::HelperLibraryTrial(std::string helperPath, std::chrono::milliseconds timeLimit)
    : helperPath_(std::move(helperPath)), timeLimit_(timeLimit) {}

std::optional<std::string> HelperLibraryTrial::defect(const std::string& path) {
    // What the helper prints is of no interest; the library's initialisers may print anything.
    const ChildRun run = runChild(helperPath_, {path}, timeLimit_, std::nullopt);
    switch (run.end) {
        case ChildRun::End::notStarted:
            if (run.startError == 0) return "it could not be tried first";
            return "it could not be tried first: " + helperPath_ + ": " + std::strerror(run.startError);
        case ChildRun::End::timedOut:
            return "it did not finish loading within " + std::to_string(timeLimit_.count()) +
                   " ms, tried in a process of its own";
        case ChildRun::End::tooMuchOutput:
        case ChildRun::End::failed:
            return "it could not be tried first";
        case ChildRun::End::exited:
            break;
    }
    const int status = run.status;
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == notLoadedStatus)) {
        return std::nullopt;
    }
    if (WIFSIGNALED(status)) {
        const char* name = ::sigabbrev_np(WTERMSIG(status));
        return "it crashed while it loaded, tried in a process of its own (signal " +
               std::to_string(WTERMSIG(status)) + (name != nullptr ? std::string(", SIG") + name : "") + ")";
    }
    return "it failed while it loaded, tried in a process of its own (exit status " +
           std::to_string(WEXITSTATUS(status)) + ")";
}

}  // namespace ostrel
