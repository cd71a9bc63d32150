// ostrel-nettop: per-process TCP byte counts in the CSV shape of `nettop -P -L 1 -s 1 -x`. Each
// run reports what every process's sockets put on the wire since the previous run (with the last
// bytes of sockets destroyed meanwhile, which a listener it starts keeps for it), and in a row
// with pid 0 what the interfaces moved beyond that, so that the counts are the weights of the
// current second. The macOS arguments are accepted and ignored: one read of the kernel's
// counters is a sample.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "ClosedSockets.hpp"
#include "NettopReport.hpp"
#include "NettopRun.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/UniqueFd.hpp"
#include "Platform/XdgFolders.hpp"
#include "ProcessSockets.hpp"
#include "SocketCounters.hpp"
#include "TrafficState.hpp"

namespace {

using namespace ostrel::nettop;

// Well under the two seconds the sampler gives a run.
constexpr int lockWaitMs = 500;

void complain(const std::string& text) {
    std::fprintf(stderr, "ostrel-nettop: %s\n", text.c_str());
}

// Shared by every account, so the last place for the state: $TMPDIR when set, else /tmp.
std::string tmpRoot() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
}

// The sampler discards what the tool writes on standard error.
void tellSystemLog(const std::string& text) {
    ::openlog("ostrel-nettop", LOG_PID, LOG_USER);
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    ::closelog();
}

std::string bootId() {
    const ostrel::UniqueFd fd(::open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC));
    char text[64];
    const ssize_t count = fd.valid() ? ::read(fd.get(), text, sizeof text) : -1;
    if (count <= 0) return "unknown";
    std::string id(text, static_cast<std::size_t>(count));
    return id.substr(0, id.find('\n'));
}

struct NetworkNamespace {
    std::uint64_t inode = 0;     // names its files; a later namespace may get it once this one is gone
    std::uint64_t identity = 0;  // never given again: the kernel's cookie where it has one
};

NetworkNamespace networkNamespace() {
    NetworkNamespace netns;
    struct stat info {};
    if (::stat("/proc/self/ns/net", &info) == 0) netns.inode = info.st_ino;
    netns.identity = netns.inode;
    const ostrel::UniqueFd probe(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    std::uint64_t cookie = 0;
    socklen_t length = sizeof cookie;
    if (probe.valid() && ::getsockopt(probe.get(), SOL_SOCKET, SO_NETNS_COOKIE, &cookie, &length) == 0 &&
        length == sizeof cookie) {
        netns.identity = cookie;
    }
    return netns;
}

// The processes' traffic since the previous run; nothing when no state can be used, as every
// socket's whole life would then count as the last second. None when the kernel cannot be asked.
std::optional<std::vector<ProcessTraffic>> measure() {
    std::string why;
    const ostrel::XdgFolders xdg;
    const auto uid = ::getuid();
    const auto shared = tmpRoot();
    // The user's own private folders before the shared one, which another account may hold.
    const auto directory =
        stateDirectory(xdg.stateHome(), ownRuntimeDir(xdg.runtimeDir(), "/run/user", uid), shared, uid, why);
    if (!directory) {
        complain("no bytes reported: no usable state folder (" + why + ")");
        if (tellUnusableStateOnce(shared, uid)) {
            tellSystemLog("the per-application split is off and all traffic counts as Unattributed: no usable "
                          "state folder (" + why + ")");
        }
        return std::vector<ProcessTraffic>{};
    }
    forgetToldUnusableState(shared, uid);
    const auto netns = networkNamespace();
    const StateFile file(*directory, netns.inode, lockWaitMs);
    if (!file.locked()) {
        complain("no bytes reported: the state in " + *directory + " is held by another run");
        return std::vector<ProcessTraffic>{};
    }
    // Sockets destroyed before the sockets are read below are announced by now.
    const auto listener = namespaceFile(*directory, netns.inode, ".closed");
    auto closed = collectClosedSockets(listener, netns.identity);
    if (!closed) startClosedSocketListener(listener, netns.identity);

    const auto boot = bootId();
    // Counters of another boot or network namespace are no baseline.
    const auto load = [&](StateFile::Part part) -> std::optional<TrafficState> {
        TrafficState loaded;
        switch (file.load(part, loaded, why)) {
            case StateFile::Load::absent:
                return std::nullopt;
            case StateFile::Load::discarded:
                complain(why + "; starting from a fresh baseline");
                return std::nullopt;
            case StateFile::Load::loaded:
                break;
        }
        if (loaded.boot != boot || loaded.netns != netns.identity) return std::nullopt;
        return loaded;
    };
    const auto recent = load(StateFile::Part::recent);
    ProcSocketOwners owners("/proc");
    NamespaceSockets kernel;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const auto mark = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
    auto outcome = runOnce(
        kernel, owners, closed.value_or(std::vector<SocketCounters>{}), recent,
        [&] { return load(StateFile::Part::walked); }, static_cast<std::uint64_t>(now.tv_sec), mark);
    if (!outcome) return std::nullopt;
    // The recent part first: with a new walk's mark and the old walk's sockets, a run takes no
    // baseline from them.
    outcome->recent.boot = outcome->every.boot = boot;
    outcome->recent.netns = outcome->every.netns = netns.identity;
    bool saved = file.save(StateFile::Part::recent, outcome->recent);
    if (outcome->walked) saved = file.save(StateFile::Part::walked, outcome->every) && saved;
    if (!saved) complain("the state cannot be saved; the next run starts from a fresh baseline");
    return std::move(outcome->processes);
}

}  // namespace

int main(int, char**) {
    const auto processes = measure();
    if (!processes) {
        complain("the kernel's socket statistics cannot be read");
        return 1;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto csv = formatCsv(*processes, timeOfDay(now));
    if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size()) return 1;
    return std::fflush(stdout) == 0 ? 0 : 1;
}
