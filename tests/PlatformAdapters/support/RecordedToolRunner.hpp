#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/ToolRunner.hpp"

namespace ostrel::testing {

// Answers a tool run with the output recorded for its exact path and arguments; nothing for a
// run that has no recording, as a missing tool gives.
class RecordedToolRunner final : public ToolRunner {
public:
    using Command = std::pair<std::string, std::vector<std::string>>;

    void record(const std::string& path, const std::vector<std::string>& arguments, std::optional<std::string> output) {
        std::lock_guard lock(mutex_);
        outputs_[{path, arguments}] = std::move(output);
    }

    std::optional<std::string> runCommand(const std::string& path, const std::vector<std::string>& arguments) override {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(path, arguments);
        const auto found = outputs_.find({path, arguments});
        return found == outputs_.end() ? std::nullopt : found->second;
    }

    std::vector<Command> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    std::map<Command, std::optional<std::string>> outputs_;
    std::vector<Command> calls_;
};

}  // namespace ostrel::testing
