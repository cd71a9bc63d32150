#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// Runs a system tool (absolute path, no shell) and hands back its standard output, or nothing
// when it could not start, failed, or printed bytes that are not UTF-8.
class ToolRunner {
public:
    virtual ~ToolRunner() = default;
    virtual std::optional<std::string> runCommand(const std::string& path,
                                                  const std::vector<std::string>& arguments) = 0;
};

}  // namespace ostrel
