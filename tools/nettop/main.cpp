// ostrel-nettop: per-process TCP byte counts in the CSV shape of `nettop -P -L 1 -s 1 -x`. Each
// run reports what every process's sockets moved since the previous run, so that the counts are
// the weights of the current second. The macOS arguments are accepted and ignored: one read of
// the kernel's counters is a sample.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "NettopReport.hpp"
#include "ProcessSockets.hpp"
#include "SocketCounters.hpp"
#include "TrafficState.hpp"

int main(int, char**) {
    using namespace ostrel::nettop;
    const auto sockets = readTcpSocketCounters();
    if (!sockets) {
        std::fprintf(stderr, "ostrel-nettop: the kernel's socket statistics cannot be read\n");
        return 1;
    }
    ProcSocketOwners owners("/proc");

    // Without a usable state folder every run counts from the sockets' start.
    std::unique_ptr<StateFile> state;
    if (const auto directory = stateDirectory(std::getenv("XDG_RUNTIME_DIR"), "/tmp", ::getuid())) {
        state = std::make_unique<StateFile>(*directory);
    }
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const auto report =
        buildReport(*sockets, state ? state->load() : std::nullopt, owners, static_cast<std::uint64_t>(boot.tv_sec));
    if (state) state->save(report.next);

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto csv = formatCsv(report.processes, timeOfDay(now));
    if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size()) return 1;
    return std::fflush(stdout) == 0 ? 0 : 1;
}
