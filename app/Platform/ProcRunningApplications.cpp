#include "Platform/ProcRunningApplications.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <memory>
#include <utility>

namespace ostrel {
namespace fs = std::filesystem;
namespace {

// The environment can be as large as the process's stack allows; what is looked for is
// near its start in practice, and a bounded read keeps a hostile process from costing much.
constexpr std::size_t environmentLimit = 256u << 10;
constexpr std::size_t commandLineLimit = 8u << 10;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::vector<std::string> nulSeparated(const std::string& content) {
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const auto end = std::min(content.find('\0', pos), content.size());
        parts.push_back(content.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

std::optional<std::string> environmentValue(const std::vector<std::string>& environment, std::string_view name) {
    for (const auto& entry : environment) {
        if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=') {
            return entry.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

std::optional<int> parsePid(std::string_view text) {
    int pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end != text.data() + text.size() || pid <= 0) return std::nullopt;
    return pid;
}

}  // namespace

ProcRunningApplications::ProcRunningApplications(std::string procRoot, std::vector<std::string> dataDirs,
                                                 std::string locale, std::chrono::milliseconds listLifetime)
    : procRoot_(std::move(procRoot)), listLifetime_(listLifetime), entries_(std::move(dataDirs), std::move(locale)) {}

std::optional<std::string> ProcRunningApplications::executable(int pid) const {
    char buffer[4096];
    const ssize_t length = ::readlink((procRoot_ + "/" + std::to_string(pid) + "/exe").c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return std::nullopt;
    std::string target(buffer, static_cast<std::size_t>(length));
    static constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted)) target.erase(target.size() - deleted.size());
    return target;
}

std::uint64_t ProcRunningApplications::instance(int pid) const {
    struct stat info {};
    return ::stat((procRoot_ + "/" + std::to_string(pid)).c_str(), &info) == 0 ? info.st_ino : 0;
}

std::optional<DesktopEntry> ProcRunningApplications::entryFor(int pid, std::uint64_t instance) {
    // Kernel threads and other users' processes show no program; they are known by their inode.
    const auto exe = executable(pid);
    const auto program = exe.value_or("");
    const auto before = known_.find(pid);
    if (instance != 0 && before != known_.end() && before->second.instance == instance &&
        before->second.executable == program) {
        return before->second.entry;
    }
    auto entry = entryForProcess(pid, exe);
    if (instance != 0) {
        if (known_.size() >= maxKnownProcesses) known_.clear();
        known_.insert_or_assign(pid, Known{instance, program, entry});
    }
    return entry;
}

std::optional<DesktopEntry> ProcRunningApplications::entryForProcess(int pid, const std::optional<std::string>& exe) {
    const auto processDir = procRoot_ + "/" + std::to_string(pid);

    if (auto environ = readRegularFile(processDir + "/environ", environmentLimit)) {
        // A cut-off last variable could read as a wrong value.
        if (environ->size() >= environmentLimit) environ->erase(environ->rfind('\0') + 1);
        const auto environment = nulSeparated(*environ);
        if (const auto desktopFile = environmentValue(environment, "GIO_LAUNCHED_DESKTOP_FILE")) {
            // Children inherit the variable: a shell in a terminal is not the terminal, while
            // the helper processes of a browser run the browser's own executable.
            const auto launchedText = environmentValue(environment, "GIO_LAUNCHED_DESKTOP_FILE_PID");
            const auto launched = launchedText ? parsePid(*launchedText) : std::nullopt;
            const bool belongs = !launched || *launched == pid || (exe && executable(*launched) == exe);
            if (belongs) {
                if (auto entry = entries_.byPath(*desktopFile)) return entry;
            }
        }
        if (const auto flatpak = environmentValue(environment, "FLATPAK_ID"); flatpak && !flatpak->empty()) {
            if (auto entry = entries_.byId(*flatpak)) return entry;
        }
        for (const char* variable : {"SNAP_INSTANCE_NAME", "SNAP_NAME"}) {
            const auto snap = environmentValue(environment, variable);
            if (!snap || snap->empty()) continue;
            if (auto entry = entries_.firstWithIdPrefix(*snap + "_")) return entry;
        }
    }

    std::optional<std::string> argv0;
    if (const auto cmdline = readRegularFile(processDir + "/cmdline", commandLineLimit)) {
        const auto arguments = nulSeparated(*cmdline);
        if (!arguments.empty() && !arguments.front().empty()) argv0 = arguments.front();
    }
    for (const auto& candidate : {exe, argv0}) {
        if (!candidate) continue;
        for (auto& entry : entries_.byProgramName(fs::path(*candidate).filename().string())) {
            // A bare program name is found through PATH; a path must be the same file.
            const bool bare = entry.execProgram.find('/') == std::string::npos;
            if (bare || entry.execProgram == *candidate) return std::move(entry);
        }
    }
    return std::nullopt;
}

std::optional<RunningApplication> ProcRunningApplications::applicationWithProcessIdentifier(int pid) {
    if (pid <= 0) return std::nullopt;
    const auto processInstance = instance(pid);
    std::lock_guard lock(mutex_);
    refreshEntries();
    const auto entry = entryFor(pid, processInstance);
    if (!entry) return std::nullopt;
    return RunningApplication{pid, entry->id, entry->name, entry->path};
}

std::vector<RunningApplication> ProcRunningApplications::runningApplications() {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (listTime_ && now - *listTime_ < listLifetime_) return list_;
    }
    // The listing gives each process's inode too, which tells a process from a later one with
    // the same number.
    std::vector<std::pair<int, std::uint64_t>> pids;
    if (const std::unique_ptr<DIR, DirCloser> dir(::opendir(procRoot_.c_str())); dir) {
        while (const dirent* item = ::readdir(dir.get())) {
            if (const auto pid = parsePid(item->d_name)) pids.emplace_back(*pid, item->d_ino);
        }
    }
    std::sort(pids.begin(), pids.end());
    std::lock_guard lock(mutex_);
    refreshEntries();
    list_.clear();
    for (const auto& [pid, processInstance] : pids) {
        if (const auto entry = entryFor(pid, processInstance)) {
            list_.push_back(RunningApplication{pid, entry->id, entry->name, entry->path});
        }
    }
    // Processes that ended are forgotten.
    std::erase_if(known_, [&](const auto& item) {
        return !std::binary_search(pids.begin(), pids.end(), std::pair<int, std::uint64_t>{item.first, 0},
                                   [](const auto& a, const auto& b) { return a.first < b.first; });
    });
    listTime_ = now;
    return list_;
}

void ProcRunningApplications::refreshEntries() {
    entries_.refresh();
    if (knownGeneration_ != entries_.generation()) known_.clear();
    knownGeneration_ = entries_.generation();
}

}  // namespace ostrel
