#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SocketCounters.hpp"

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
    std::string name;            // the owner's command when it was found (at most 15 bytes are kept)
    std::uint32_t segmentsOut = 0;
    bool local = false;  // between two ends on this machine: its segments are counted, its bytes never
    SocketAddress address{};

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
    // The namespace's TCP segments sent, read right after the run's last reading of sockets, and
    // how many it sent while that reading ran.
    std::uint64_t segmentsSent = 0;
    std::uint64_t segmentsWindow = 0;
    // The last run that read every socket: when (seconds since boot), and a mark that the
    // sockets it saved carry, so that a state is only ever joined to the walk it continues.
    std::uint64_t walkedAt = 0;
    std::uint64_t walk = 0;

    bool operator==(const TrafficState&) const = default;
};

// A compact binary form, read back only by the same program on the same machine.
std::string formatState(const TrafficState& state);
// None for anything that is not exactly such a form: a state is taken whole or not at all.
std::optional<TrafficState> parseState(std::string_view bytes);

// The first of these folders that is, or can be made, this user's own private folder (0700):
// `stateHome`/ostrel (the caller passes $XDG_STATE_HOME, else ~/.local/state), then
// `runtimeDir`/ostrel, then `tmpRoot`/ostrel-nettop-UID. Relative or empty paths are passed
// over. None when no folder can be used, with the reason in `why`.
std::optional<std::string> stateDirectory(const std::string& stateHome, const std::string& runtimeDir,
                                          const std::string& tmpRoot, uid_t uid, std::string& why);

// The user's own runtime folder: `fromEnvironment` when that is set, else `runRoot`/UID (as
// /run/user/UID, which the login manager makes) when that is this user's private folder; else
// empty.
std::string ownRuntimeDir(const std::string& fromEnvironment, const std::string& runRoot, uid_t uid);

// Whether to tell now that no state folder can be used: the first time, which a marker of this
// user's own in `tmpRoot` records, and every time while another account holds the marker's name.
// forgetToldUnusableState removes the marker once a state folder can be used again, so that the
// next time is told too.
bool tellUnusableStateOnce(const std::string& tmpRoot, uid_t uid);
void forgetToldUnusableState(const std::string& tmpRoot, uid_t uid);

// Past this size a state file is not read: it cannot be one this program wrote (about 300,000
// sockets).
constexpr std::size_t maxStateBytes = 32 << 20;

// A file of one network namespace's in a state folder: each namespace the tool runs in keeps its
// own counters, lock and listener, named by the namespace's inode (`key`), so that runs in two
// namespaces neither take each other's counters nor wait for each other.
std::string namespaceFile(const std::string& directory, std::uint64_t key, std::string_view suffix);

// The state files of one network namespace in a folder, locked for the whole run so that two
// runs at once do not both report the same bytes. Two parts: `recent`, which every run writes
// (the sockets that moved since the last walk through every socket, the interfaces and the
// segment counts), and `walked`, every socket as that walk left it, written by walks only.
class StateFile final {
public:
    enum class Part { recent, walked };
    enum class Load { absent, discarded, loaded };

    // Waits at most `lockWaitMs` for the lock.
    StateFile(const std::string& directory, std::uint64_t key, int lockWaitMs);
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    bool locked() const { return lockFd_ >= 0; }
    // `absent` on a first run; `discarded` (with the reason in `why`) for a file that is too
    // large, not a plain file, or not in this program's format.
    Load load(Part part, TrafficState& state, std::string& why) const;
    // Replaces the part atomically; when that fails the old file is removed, so that the next run
    // starts afresh instead of counting again from an outdated baseline.
    bool save(Part part, const TrafficState& state) const;

private:
    const std::string& path(Part part) const { return part == Part::recent ? recentPath_ : walkedPath_; }

    std::string recentPath_;
    std::string walkedPath_;
    int lockFd_ = -1;
};

}  // namespace ostrel::nettop
