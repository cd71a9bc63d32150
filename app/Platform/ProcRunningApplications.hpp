#pragma once

#include <chrono>
#include <cstdint>
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
    // What a process was matched to, and which process running which program that was.
    struct Known {
        std::uint64_t instance = 0;
        std::string executable;
        std::optional<DesktopEntry> entry;
    };
    static constexpr std::size_t maxKnownProcesses = 8192;

    // What makes a process an application does not change while it runs one program, and reading
    // every process's environment each second was most of a busy sampler's cost: a process is read
    // once, and again when it runs another program or the applications changed.
    std::optional<DesktopEntry> entryFor(int pid, std::uint64_t instance);
    std::optional<DesktopEntry> entryForProcess(int pid, const std::optional<std::string>& exe);
    std::optional<std::string> executable(int pid) const;
    // The inode of the process's folder: another process with the same number has another one.
    std::uint64_t instance(int pid) const;
    void refreshEntries();

    std::string procRoot_;
    std::chrono::milliseconds listLifetime_;
    std::mutex mutex_;
    DesktopEntries entries_;
    std::optional<std::chrono::steady_clock::time_point> listTime_;
    std::vector<RunningApplication> list_;
    std::map<int, Known> known_;
    std::uint64_t knownGeneration_ = 0;
};

}  // namespace ostrel
