#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::nettop {

// What a run knew of one socket: its counters, and where it was last found, so that the next run
// can confirm the owner with one link read instead of walking every process's descriptors, and
// can still name the owner of a socket closed with data queued after the owner is gone.
struct SocketTotals {
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
    int pid = 0;  // 0: not looked for; -1: no process this user can see held it at `missedAt`
    int fd = -1;
    std::uint64_t missedAt = 0;  // seconds since boot
    std::string name;            // the owner's command when it was found

    bool operator==(const SocketTotals&) const = default;
};

struct LinkTotals {
    std::uint64_t rx = 0;
    std::uint64_t tx = 0;

    bool operator==(const LinkTotals&) const = default;
};

// The counters of one run, and where they were taken: counters of another boot or another
// network namespace are no baseline for this one.
struct TrafficState {
    std::string boot;
    std::uint64_t netns = 0;
    std::map<std::uint64_t, SocketTotals> sockets;  // by cookie
    std::map<std::string, LinkTotals> links;        // by interface name

    bool operator==(const TrafficState&) const = default;
};

std::string formatState(const TrafficState& state);
// Unreadable lines are dropped; text without this format's first line is no state at all.
std::optional<TrafficState> parseState(std::string_view text);

// The first of these folders that is, or can be made, this user's own private folder (0700):
// `stateHome`/ostrel (the caller passes $XDG_STATE_HOME, else ~/.local/state), then
// `runtimeDir`/ostrel, then `tmpRoot`/ostrel-nettop-UID. Relative or empty paths are passed
// over. None when no folder can be used, with the reason in `why`.
std::optional<std::string> stateDirectory(const std::string& stateHome, const std::string& runtimeDir,
                                          const std::string& tmpRoot, uid_t uid, std::string& why);

// Past this size a state file is not read: it cannot be one this program wrote.
constexpr std::size_t maxStateBytes = 4 << 20;

// A file of one network namespace's in a state folder: each namespace the tool runs in keeps its
// own counters, lock and listener, named by the namespace's inode (`key`), so that runs in two
// namespaces neither take each other's counters nor wait for each other.
std::string namespaceFile(const std::string& directory, std::uint64_t key, std::string_view suffix);

// The state file of one network namespace in a folder, locked for the whole run so that two runs
// at once do not both report the same bytes.
class StateFile final {
public:
    enum class Load { absent, discarded, loaded };

    // Waits at most `lockWaitMs` for the lock.
    StateFile(const std::string& directory, std::uint64_t key, int lockWaitMs);
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    bool locked() const { return lockFd_ >= 0; }
    // `absent` on a first run; `discarded` (with the reason in `why`) for a file that is too
    // large, not a plain file, or not in this program's format.
    Load load(TrafficState& state, std::string& why) const;
    // Replaces the file atomically; when that fails the old file is removed, so that the next run
    // starts afresh instead of counting again from an outdated baseline.
    bool save(const TrafficState& state) const;

private:
    std::string path_;
    int lockFd_ = -1;
};

}  // namespace ostrel::nettop
