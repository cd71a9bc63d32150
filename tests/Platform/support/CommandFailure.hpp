#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <optional>
#include <string>

namespace ostrel::testing {

// Runs `command` with sh; nothing when it succeeds, else why it failed: the first line it wrote
// to standard error, or its exit status. For tests that skip saying what the machine refused.
inline std::optional<std::string> commandFailure(const std::string& command) {
    FILE* pipe = ::popen(("(" + command + ") 2>&1 >/dev/null").c_str(), "r");
    if (pipe == nullptr) return "cannot start sh";
    std::string errors;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) errors += buffer;
    const int status = ::pclose(pipe);
    if (status == 0) return std::nullopt;
    const std::string first = errors.substr(0, errors.find('\n'));
    if (!first.empty()) return first;
    return "exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace ostrel::testing
