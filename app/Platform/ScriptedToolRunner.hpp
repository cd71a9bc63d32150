#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/ToolRunner.hpp"

namespace ostrel {

// A tool runner for tests: answers each path with what the test scripted (nothing for an unknown
// path) and remembers every call.
class ScriptedToolRunner final : public ToolRunner {
public:
    struct Call {
        std::string path;
        std::vector<std::string> arguments;
    };
    using Answer = std::function<std::optional<std::string>(const std::vector<std::string>&)>;

    void answer(const std::string& path, std::optional<std::string> output);
    void answer(const std::string& path, Answer answer);

    std::optional<std::string> runCommand(const std::string& path,
                                          const std::vector<std::string>& arguments) override;
    std::vector<Call> calls() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<Call> calls_;
};

}  // namespace ostrel
