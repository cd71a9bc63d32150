#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Platform/DesktopEntries.hpp"
#include "Platform/RunningApplications.hpp"

namespace ostrel {

// Running applications read from /proc: a process is an application when it can be matched to
// an installed desktop entry, through the desktop file it was launched from, its Flatpak or
// Snap id, or its executable against the entry's Exec.
class ProcRunningApplications final : public RunningApplications {
public:
    // The list of all applications is reused for `listLifetime`, so that the look-ups of one
    // sampling tick walk /proc once.
    ProcRunningApplications(std::string procRoot, std::vector<std::string> dataDirs, std::string locale,
                            std::chrono::milliseconds listLifetime = std::chrono::seconds(1));

    std::optional<RunningApplication> applicationWithProcessIdentifier(int pid) override;
    // In process-identifier order.
    std::vector<RunningApplication> runningApplications() override;

private:
    std::optional<DesktopEntry> entryForProcess(int pid);
    std::optional<std::string> executable(int pid) const;

    std::string procRoot_;
    std::chrono::milliseconds listLifetime_;
    std::mutex mutex_;
    DesktopEntries entries_;
    std::optional<std::chrono::steady_clock::time_point> listTime_;
    std::vector<RunningApplication> list_;
};

}  // namespace ostrel
