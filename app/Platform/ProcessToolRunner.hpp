#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Platform/ToolRunner.hpp"

namespace ostrel {

// Starts the tool with posix_spawn (no shell, no search path), drains its standard output and
// standard error together while it runs, and hands back the output when it exits with status 0
// and the bytes are UTF-8. A tool that outlives the time limit, or prints more than the output
// limit, is killed with its process group and reaped, and gives nothing.
class ProcessToolRunner final : public ToolRunner {
public:
    // The sampler runs its tools once a second on one queue, and they answer in milliseconds;
    // two seconds leaves room for a loaded machine while a hung tool costs at most two ticks,
    // which the timer merges rather than queues.
    static constexpr std::chrono::milliseconds defaultTimeLimit{2000};
    static constexpr std::size_t defaultOutputLimit = 64u << 20;

    explicit ProcessToolRunner(std::chrono::milliseconds timeLimit = defaultTimeLimit,
                               std::size_t outputLimit = defaultOutputLimit);

    std::optional<std::string> runCommand(const std::string& path,
                                          const std::vector<std::string>& arguments) override;

private:
    std::chrono::milliseconds timeLimit_;
    std::size_t outputLimit_;
};

}  // namespace ostrel
