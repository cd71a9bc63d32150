// What the sampler costs on this machine: CPU time per tick and as a share of one core, idle and
// with traffic, over real one-second ticks of the real coordinator (counters, route lookup,
// per-process tool, identity, SQLite). It samples inside a network namespace of its own so
// that "idle" is really idle; the traffic comes from a thread whose own CPU time is subtracted.
// Then the same with many open TCP connections for the per-process tool to look through, held by
// programs of their own: all idle while datagrams move (so that the tool runs every tick), and
// with 200 of them moving.
// Needs root. Usage: ostrel_sampler_bench [seconds per phase, default 60]
//                    [open connections, comma-separated, default 1000,10000,30000; 0 for none]
//                    [per-process tool, default the built one]
// Its namespaces, folders and programs are removed on every exit, also when it is interrupted.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Persistence/SQLiteDatabase.hpp"
#include "Platform/NetlinkDefaultRouteLookup.hpp"
#include "Platform/Nl80211WifiClient.hpp"
#include "Platform/ProcRunningApplications.hpp"
#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"
#include "SocketLoad.hpp"
#include "ToolListener.hpp"
#include "support/BenchScratch.hpp"

using namespace ostrel;
using namespace std::chrono_literals;

namespace {

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Every tick looks the route up once: the count of lookups is the count of ticks.
class CountingRouteLookup final : public DefaultRouteLookup {
public:
    std::optional<std::string> defaultRouteInterface() override {
        ++lookups;
        return inner_.defaultRouteInterface();
    }
    std::atomic<long> lookups{0};

private:
    NetlinkDefaultRouteLookup inner_;
};

// Counts the per-process tool's runs.
class CountingToolRunner final : public ToolRunner {
public:
    std::optional<std::string> runCommand(const std::string& path, const std::vector<std::string>& arguments) override {
        {
            std::lock_guard lock(mutex_);
            ++runs_[path];
        }
        return inner_.runCommand(path, arguments);
    }
    long runs(const std::string& path) {
        std::lock_guard lock(mutex_);
        return runs_[path];
    }

private:
    ProcessToolRunner inner_;
    std::mutex mutex_;
    std::map<std::string, long> runs_;
};

class Netns {
public:
    explicit Netns(const std::string& name) {
        original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        ok_ = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
    }
    ~Netns() {
        ::setns(original_, CLONE_NEWNET);
        ::close(original_);
    }
    bool ok() const { return ok_; }

private:
    int original_ = -1;
    bool ok_ = false;
};

int boundUdp(const std::string& ns, const char* address, std::uint16_t port) {
    Netns in(ns);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &local.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

double seconds(timespec t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double processCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return seconds(t);
}

double childrenCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto tv = [](timeval v) { return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) / 1e6; };
    return tv(usage.ru_utime) + tv(usage.ru_stime);
}

// CPU time of each thread of this process by name, from the scheduler's nanosecond counters.
std::map<std::string, double> threadCpu() {
    std::map<std::string, double> byName;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::FILE* comm = std::fopen((task.path() / "comm").c_str(), "re");
        std::FILE* stat = std::fopen((task.path() / "schedstat").c_str(), "re");
        char name[64] = {};
        unsigned long long runtime = 0;
        if (comm != nullptr && stat != nullptr && std::fscanf(comm, "%63[^\n]", name) == 1 &&
            std::fscanf(stat, "%llu", &runtime) == 1) {
            byName[name] += static_cast<double>(runtime) / 1e9;
        }
        if (comm != nullptr) std::fclose(comm);
        if (stat != nullptr) std::fclose(stat);
    }
    return byName;
}

// CPU seconds a thread has taken so far.
double threadCpu(pthread_t thread) {
    clockid_t clock{};
    timespec t{};
    if (::pthread_getcpuclockid(thread, &clock) != 0 || ::clock_gettime(clock, &t) != 0) return 0;
    return seconds(t);
}

struct Phase {
    std::string name;
    double wall = 0;
    double ownCpu = 0;       // the sampler's threads
    double childrenCpu = 0;  // the tools' runs
    double listenerCpu = 0;  // the per-process tool's listener
    long ticks = 0;
    long perProcessRuns = 0;
    std::map<std::string, double> threads;
};

void report(const Phase& p) {
    const double tools = p.childrenCpu + p.listenerCpu, cpu = p.ownCpu + tools;
    const auto perTick = [&p](double value) { return 1e3 * value / static_cast<double>(std::max(p.ticks, 1L)); };
    std::printf(
        "%s\n  %6.1f s wall, %4ld ticks, %4ld per-process tool runs: %7.3f ms CPU per tick (%6.3f ms "
        "in-process, %6.3f ms tools), %6.3f %% of one core\n",
        p.name.c_str(), p.wall, p.ticks, p.perProcessRuns, perTick(cpu), perTick(p.ownCpu), perTick(tools),
        100.0 * cpu / p.wall);
    std::printf("  per-process tool: %7.3f ms CPU per run, listener %6.3f ms a second\n",
                1e3 * p.childrenCpu / static_cast<double>(std::max(p.perProcessRuns, 1L)),
                1e3 * p.listenerCpu / p.wall);
    for (const auto& [thread, threadSeconds] : p.threads) {
        std::printf("  thread %-16s %7.3f ms per tick\n", thread.c_str(), perTick(threadSeconds));
    }
    std::fflush(stdout);
}

std::vector<std::size_t> counts(const char* text) {
    std::vector<std::size_t> list;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        if (const auto n = std::strtoul(item.c_str(), nullptr, 10); n > 0) list.push_back(n);
    }
    return list;
}

constexpr std::size_t movingConnections = 200;

}  // namespace

int main(int argc, char** argv) {
    bench::BenchScratch scratch("ostrel-sampler-bench");
    const int phaseSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const auto connections = counts(argc > 2 ? argv[2] : "1000,10000,30000");
    ToolPaths paths = ToolPaths::inLibexec(OSTREL_BUILD_LIBEXEC_DIR);
    if (argc > 3) paths.nettop = argv[3];
    if (::geteuid() != 0) scratch.fail("needs root to make its network namespaces");
    const std::string tag = std::to_string(::getpid());
    const std::string near = "ostrel-bench-near-" + tag, far = "ostrel-bench-far-" + tag;
    scratch.addNamespace(near);
    scratch.addNamespace(far);
    // IPv6 off: its router and neighbour chatter would make the idle phase move bytes.
    const auto noIPv6 = [](const std::string& ns) {
        return run("ip netns exec " + ns +
                   " sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1");
    };
    // The far namespace, made from inside the near one, gets a table of connections of its own:
    // its ends of the connections stay out of the near one's table, as a remote machine's would.
    const bool made = run("ip netns add " + near) &&
                      run("ip netns exec " + near + " sysctl -q -w net.ipv4.tcp_child_ehash_entries=65536") &&
                      run("nsenter --net=/run/netns/" + near + " ip netns add " + far) && noIPv6(near) && noIPv6(far) &&
                      run("ip netns exec " + near + " sysctl -q -w net.ipv4.ip_local_port_range='1024 65000'") &&
                      run("ip -n " + near + " link add ostv0 type veth peer name ostv1 netns " + far) &&
                      run("ip -n " + near + " addr add 10.231.0.1/24 dev ostv0") &&
                      run("ip -n " + far + " addr add 10.231.0.2/24 dev ostv1") &&
                      run("ip -n " + near + " link set ostv0 up") && run("ip -n " + far + " link set ostv1 up") &&
                      run("ip -n " + near + " link set lo up") &&
                      run("ip -n " + near + " route add default via 10.231.0.2 dev ostv0");
    if (!made) scratch.fail("could not set up the benchmark's namespaces");

    auto runner = std::make_shared<CountingToolRunner>();
    auto route = std::make_unique<CountingRouteLookup>();
    const CountingRouteLookup& ticks = *route;
    std::shared_ptr<SamplingCoordinator> coordinator;
    {
        Netns in(near);
        if (!in.ok()) scratch.fail("cannot enter the benchmark's namespace");
        const char* home = std::getenv("HOME");
        coordinator = SamplingCoordinator::create(
            std::make_unique<TrafficMonitorAdapter>(std::make_unique<GetifaddrsCounterSource>(), std::move(route)),
            std::make_unique<NetworkIdentityResolver>(std::make_shared<Nl80211WifiClient>(), runner, paths),
            std::make_unique<TrafficAttributionLayer>(std::vector<std::shared_ptr<TrafficAttributionProviding>>{
                std::make_shared<NettopTrafficAttributionProvider>(
                    runner, paths,
                    std::make_shared<ProcRunningApplications>(
                        "/proc",
                        std::vector<std::string>{std::string(home ? home : "/root") + "/.local/share",
                                                 "/usr/local/share", "/usr/share"},
                        "C"))}),
            std::make_shared<OstrelRepository>(std::make_unique<SQLiteDatabase>(scratch.folder() + "/ostrel.sqlite")),
            std::make_shared<PumpableMainQueue>(), std::make_shared<SyslogSink>());
    }

    // One phase, with datagrams across the pair when `traffic`.
    const auto measure = [&](std::string name, bool traffic) {
        std::atomic<bool> stopTraffic{false};
        std::thread generator;
        if (traffic) {
            generator = std::thread([&] {
                pthread_setname_np(pthread_self(), "traffic");
                const int receiver = boundUdp(near, "10.231.0.1", 40404);
                const int sender = boundUdp(far, "10.231.0.2", 0);
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(40404);
                ::inet_pton(AF_INET, "10.231.0.1", &to.sin_addr);
                std::vector<char> datagram(1200, 'x');
                while (!stopTraffic) {  // about 2.4 MB/s in 10 ms bursts
                    for (int i = 0; i < 20; ++i) {
                        ::sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                                 sizeof to);
                        while (::recv(receiver, datagram.data(), datagram.size(), 0) > 0) {
                        }
                    }
                    std::this_thread::sleep_for(10ms);
                }
                ::close(sender);
                ::close(receiver);
            });
        }
        std::this_thread::sleep_for(2s);  // warm-up
        // The traffic's thread and this one, which only waits and measures, are taken out of the
        // process's time over the same window.
        const auto loadCpu = [&] {
            return (traffic ? threadCpu(generator.native_handle()) : 0.0) + threadCpu(pthread_self());
        };
        const auto listener = [&] {
            const Netns in(near);
            return bench::toolListenerUsage().cpuSeconds;
        };
        Phase phase;
        phase.name = std::move(name);
        const long ticks0 = ticks.lookups, nettop0 = runner->runs(paths.nettop);
        const auto threads0 = threadCpu();
        const double load0 = loadCpu(), own0 = processCpu(), children0 = childrenCpu(), listener0 = listener();
        const auto wall0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(phaseSeconds));
        const double own1 = processCpu(), children1 = childrenCpu(), load1 = loadCpu(), listener1 = listener();
        for (const auto& [thread, cpu] : threadCpu()) {
            const auto before = threads0.find(thread);
            const double used = cpu - (before == threads0.end() ? 0.0 : before->second);
            if (used > 0) phase.threads[thread] = used;
        }
        phase.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        phase.ticks = ticks.lookups - ticks0;
        phase.perProcessRuns = runner->runs(paths.nettop) - nettop0;
        if (traffic) {
            stopTraffic = true;
            generator.join();
        }
        phase.ownCpu = own1 - own0 - (load1 - load0);
        phase.childrenCpu = children1 - children0;
        phase.listenerCpu = listener1 - listener0;
        return phase;
    };

    try {
        coordinator->start();
        report(measure("idle", false));
        report(measure("traffic", true));
        for (const std::size_t count : connections) {
            const auto n = std::to_string(count);
            {
                const bench::SocketLoad idle(scratch, near, far, count, 0);
                report(measure(n + " connections open, none moving; datagrams move", true));
            }
            const bench::SocketLoad moving(scratch, near, far, count, movingConnections);
            report(measure(n + " connections open, " + std::to_string(movingConnections) + " of them moving", false));
        }
        coordinator->stop();
        coordinator.reset();
    } catch (const std::exception& error) {
        scratch.fail(error.what());
    }
    return 0;
}
