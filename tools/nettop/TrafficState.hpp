#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ostrel::nettop {

// What a run knew of one socket: its counters, and where it was last found, so that the next run
// can confirm the owner with one link read instead of walking every process's descriptors.
struct SocketTotals {
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    int pid = 0;  // 0: not looked for; -1: no process this user can see held it at `missedAt`
    int fd = -1;
    std::uint64_t missedAt = 0;  // seconds since boot

    bool operator==(const SocketTotals&) const = default;
};

// Counters of the previous run by (inode, cookie).
using TrafficState = std::map<std::pair<std::uint64_t, std::uint64_t>, SocketTotals>;

std::string formatState(const TrafficState& state);
// Unreadable lines are dropped; text without the format line is no state at all. The first
// format, counters without owners, still reads.
TrafficState parseState(std::string_view text);

// $XDG_RUNTIME_DIR/ostrel when the variable names an absolute path, else tmpRoot/ostrel-nettop-UID;
// created 0700. None when the folder cannot be made or is not this user's own private folder, so
// that nobody else can plant or read the state.
std::optional<std::string> stateDirectory(const char* xdgRuntimeDir, const std::string& tmpRoot, uid_t uid);

// The state file of a folder, locked for the whole run so that two runs at once do not both
// report the same bytes.
class StateFile final {
public:
    explicit StateFile(std::string directory);
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    // None when there is no state yet (a first run).
    std::optional<TrafficState> load() const;
    // Replaces the file atomically.
    bool save(const TrafficState& state) const;

private:
    std::string directory_;
    int lockFd_ = -1;
};

}  // namespace ostrel::nettop
