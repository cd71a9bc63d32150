#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// A running process that belongs to an installed application.
struct RunningApplication {
    int processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundlePath;

    bool operator==(const RunningApplication&) const = default;
};

class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    virtual std::optional<RunningApplication> applicationWithProcessIdentifier(int pid) = 0;
    virtual std::vector<RunningApplication> runningApplications() = 0;
};

}  // namespace ostrel
