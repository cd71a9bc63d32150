// How well the sampler's per-application split follows what each program really moved. Three
// programs run in a network namespace of their own, each over its own veth pair to servers in a
// second namespace, so that each pair's counters are that program's true wire bytes. The sampler's
// steps run once a second as the program runs them: interface totals, the per-process tool, the
// proportional split and the reconciliation. Four workloads: one bulk TCP download, short TCP
// connections at Poisson times, UDP, and the three at once; and connections of 1 to 3 s, which
// end between two runs. For each: what the split credits to each program against its true wire
// bytes, the share left Unattributed, the tool's CPU per run, and the cost of the tool's listener
// for destroyed sockets.
// Needs root. Usage: ostrel_nettop_coverage_bench [seconds per workload, default 60] [tool path]
// Its namespaces, folders and programs are removed on every exit, also when it is interrupted.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/InterfaceCounterRules.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"
#include "PlatformAdapters/Reconciliation.hpp"
#include "PlatformAdapters/TrafficAttributionLayer.hpp"
#include "ToolListener.hpp"
#include "support/BenchScratch.hpp"

using namespace ostrel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string tag = std::to_string(::getpid());
const std::string near = "ostrel-cov-near-" + tag, far = "ostrel-cov-far-" + tag;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

class Netns {
public:
    explicit Netns(const std::string& name) : original_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
        const int target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
        if (!entered) {
            ::close(original_);
            throw std::runtime_error("cannot enter the namespace " + name);
        }
    }
    ~Netns() {
        ::setns(original_, CLONE_NEWNET);
        ::close(original_);
    }

private:
    int original_;
};

// One program's link: near end `interface`0 (10.232.N.1), far end `interface`1 (10.232.N.2).
// Every segment is a frame of its own, as on a wire, so that the counters count each segment's
// headers.
struct Link {
    std::string program, interface;
    int subnet;
    std::uint16_t port() const { return static_cast<std::uint16_t>(9000 + subnet); }
    std::string farAddress() const { return "10.232." + std::to_string(subnet) + ".2"; }
};
const Link bulkLink{"bulk-tcp", "ostb", 1}, shortLink{"short-tcp", "osts", 2}, udpLink{"udp-flow", "ostu", 3},
    mediumLink{"medium-tcp", "ostm", 4};

bool makeNamespaces() {
    const char* script = R"(set -e
        ip netns add "$1"; ip netns add "$2"
        for ns in "$1" "$2"; do
            ip netns exec "$ns" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
            ip -n "$ns" link set lo up
        done
        for link in ostb:1 osts:2 ostu:3 ostm:4; do
            name=${link%:*}; n=${link#*:}
            ip -n "$1" link add ${name}0 address 02:0a:e8:00:0$n:01 type veth peer name ${name}1 address 02:0a:e8:00:0$n:02 netns "$2"
            ip -n "$1" link set ${name}0 gso_max_segs 1; ip -n "$2" link set ${name}1 gso_max_segs 1
            ip -n "$1" addr add 10.232.$n.1/24 dev ${name}0; ip -n "$2" addr add 10.232.$n.2/24 dev ${name}1
            ip -n "$1" neigh add 10.232.$n.2 lladdr 02:0a:e8:00:0$n:02 dev ${name}0 nud permanent
            ip -n "$2" neigh add 10.232.$n.1 lladdr 02:0a:e8:00:0$n:01 dev ${name}1 nud permanent
            ip -n "$1" link set ${name}0 up; ip -n "$2" link set ${name}1 up
        done)";
    return run("sh -c '" + std::string(script) + "' sh " + near + " " + far);
}

sockaddr_in address(const std::string& ip, std::uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &at.sin_addr);
    return at;
}

int boundSocket(int type, const std::string& ip, std::uint16_t port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const auto at = address(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind " + ip + ":" + std::to_string(port));
    }
    if (type == SOCK_STREAM) ::listen(fd, 64);
    return fd;
}

bool readable(int fd, int timeoutMs) {
    pollfd item{fd, POLLIN, 0};
    return ::poll(&item, 1, timeoutMs) == 1;
}

// Sends `bytesPerSecond` in 10 ms slices until `until`.
void paced(const std::function<bool(std::size_t)>& send, double bytesPerSecond, Clock::time_point until) {
    const auto slice = static_cast<std::size_t>(bytesPerSecond / 100);
    for (auto next = Clock::now(); next < until; next += 10ms) {
        std::this_thread::sleep_until(next);
        if (!send(slice)) return;
    }
}

constexpr double rate = 1.0e6;  // bytes a second of each program's main direction
constexpr std::size_t shortReply = 50000;
constexpr std::size_t datagram = 1200;

// Downloads at `rate` until `until`, or for as many milliseconds as the client asks when `asked`.
void serveDownload(int fd, Clock::time_point until, bool asked) {
    if (asked) {
        std::uint32_t ms = 0;
        if (::recv(fd, &ms, sizeof ms, MSG_WAITALL) != sizeof ms) return;
        until = Clock::now() + std::chrono::milliseconds(ms);
    }
    std::vector<char> data(static_cast<std::size_t>(rate), 'b');
    paced([&](std::size_t n) { return ::send(fd, data.data(), n, MSG_NOSIGNAL) > 0; }, rate, until);
}

// The far side of each program, on threads in the far namespace.
struct Servers {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::string failure;  // the first server that could not start

    void start(const Link& link, Clock::time_point until) {
        threads.emplace_back([this, link, until] {
            try {
                serve(link, until);
            } catch (const std::exception& error) {
                std::lock_guard lock(mutex);
                if (failure.empty()) failure = error.what();
            }
        });
    }
    void serve(const Link& link, Clock::time_point until) {
        const Netns in(far);
        const bool udp = link.program == udpLink.program;
        const int listener = boundSocket(udp ? SOCK_DGRAM : SOCK_STREAM, link.farAddress(), link.port());
        std::vector<char> data(shortReply, 's');
        while (!stop) {
            if (!readable(listener, 50)) continue;
            if (udp) {
                sockaddr_in from{};
                socklen_t length = sizeof from;
                const auto n =
                    ::recvfrom(listener, data.data(), datagram, 0, reinterpret_cast<sockaddr*>(&from), &length);
                if (n > 0) {
                    ::sendto(listener, data.data(), static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&from),
                             length);
                }
                continue;
            }
            const int fd = ::accept(listener, nullptr, nullptr);
            if (link.program == shortLink.program) {
                char request[100];
                ::recv(fd, request, sizeof request, MSG_WAITALL);
                ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            } else {
                serveDownload(fd, until, link.program == mediumLink.program);
            }
            ::close(fd);
        }
        ::close(listener);
    }
    ~Servers() {
        stop = true;
        for (auto& thread : threads) {
            if (thread.joinable()) thread.join();
        }
    }
    void join() {
        stop = true;
        for (auto& thread : threads) thread.join();
        threads.clear();
        stop = false;
        if (!failure.empty()) throw std::runtime_error(failure);
    }
};

void receiveAll(int fd) {
    std::vector<char> data(65536);
    while (::recv(fd, data.data(), data.size(), 0) > 0) {
    }
}

// The program itself: a child process of its own name in the near namespace (the caller's).
pid_t startProgram(const Link& link, Clock::time_point until) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    bench::BenchScratch::childSetUp();
    ::prctl(PR_SET_NAME, link.program.c_str());
    const auto at = address(link.farAddress(), link.port());
    const auto connected = [&at](int type) {
        const int fd = ::socket(AF_INET, type, 0);
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 ? fd : (::close(fd), -1);
    };
    std::mt19937_64 random(42);
    if (link.program == bulkLink.program) {
        const int fd = connected(SOCK_STREAM);
        receiveAll(fd);
        ::close(fd);
    } else if (link.program == mediumLink.program) {
        // One connection after another, each living 1 to 3 s.
        std::uniform_int_distribution<std::uint32_t> lifetime(1000, 3000);
        while (Clock::now() < until) {
            const int fd = connected(SOCK_STREAM);
            const std::uint32_t ms = lifetime(random);
            if (Clock::now() + std::chrono::milliseconds(ms) > until) break;
            ::send(fd, &ms, sizeof ms, 0);
            receiveAll(fd);
            ::close(fd);
        }
    } else if (link.program == shortLink.program) {
        std::exponential_distribution<double> gap(20.0);  // connections a second
        std::vector<char> request(100, 'r');
        for (auto next = Clock::now(); next < until;
             next += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(gap(random)))) {
            std::this_thread::sleep_until(next);
            const int fd = connected(SOCK_STREAM);
            ::send(fd, request.data(), request.size(), 0);
            receiveAll(fd);
            ::close(fd);
        }
    } else {
        const int fd = connected(SOCK_DGRAM);
        std::vector<char> data(datagram, 'u');
        paced(
            [&](std::size_t n) {
                for (std::size_t sent = 0; sent + datagram <= n; sent += datagram) ::send(fd, data.data(), datagram, 0);
                while (::recv(fd, data.data(), data.size(), MSG_DONTWAIT) > 0) {
                }
                return true;
            },
            rate / 2, until);  // echoed: half each way
        ::close(fd);
    }
    ::_exit(0);
}

double childrenCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto tv = [](timeval v) { return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) / 1e6; };
    return tv(usage.ru_utime) + tv(usage.ru_stime);
}

// The per-process tool's runs and the CPU they took.
class MeasuredToolRunner final : public ToolRunner {
public:
    std::optional<std::string> runCommand(const std::string& path, const std::vector<std::string>& arguments) override {
        const double before = childrenCpu();
        auto output = inner_.runCommand(path, arguments);
        cpu += childrenCpu() - before;
        ++runs;
        return output;
    }
    double cpu = 0;
    long runs = 0;

private:
    ProcessToolRunner inner_;
};

using Pair = std::pair<std::int64_t, std::int64_t>;

std::map<std::string, Pair> linkCounters() {
    std::map<std::string, Pair> counters;
    for (const auto& link : GetifaddrsCounterSource().read()) counters[link.name] = {link.rxBytes, link.txBytes};
    return counters;
}

struct Outcome {
    std::map<std::string, Pair> credited;  // by application identifier
    std::map<std::string, Pair> wire;      // by program
    double toolCpu = 0;
    long toolRuns = 0;
    double wall = 0;
    double listenerCpu = 0;  // the tool's listener for destroyed sockets
    long listenerKb = 0;
    long destroyed = 0;  // TCP sockets the kernel announced as destroyed
};

// Counts the kernel's announcements of destroyed TCP sockets, as the tool's listener hears them.
class DestroyCounter {
public:
    DestroyCounter() : fd_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_SOCK_DIAG)) {
        const int size = 8 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
        sockaddr_nl groups{};
        groups.nl_family = AF_NETLINK;
        groups.nl_groups = (1u << (SKNLGRP_INET_TCP_DESTROY - 1)) | (1u << (SKNLGRP_INET6_TCP_DESTROY - 1));
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&groups), sizeof groups);
    }
    ~DestroyCounter() { ::close(fd_); }
    long drain() {
        alignas(nlmsghdr) char buffer[16384];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0 || (n < 0 && errno == ENOBUFS);) {
            auto length = static_cast<unsigned>(std::max<ssize_t>(n, 0));
            for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(h, length); h = NLMSG_NEXT(h, length)) {
                ++count_;
            }
        }
        return count_;
    }

private:
    int fd_;
    long count_ = 0;
};

// Samples once a second, as the sampler does, from before the programs start until two seconds
// after they end.
Outcome measure(const std::vector<Link>& links, int seconds, const ToolPaths& paths, bench::BenchScratch& scratch) {
    const Netns in(near);
    auto runner = std::make_shared<MeasuredToolRunner>();
    TrafficAttributionLayer layer({std::make_shared<NettopTrafficAttributionProvider>(runner, paths, nullptr)});
    Outcome outcome;

    DestroyCounter destroyed;
    // The program has been running: the tool's baseline is set before the programs start.
    ProcessToolRunner().runCommand(paths.nettop, {});
    auto previous = linkCounters();
    const auto start = previous;
    const auto tick = [&] {
        const auto current = linkCounters();
        std::int64_t rx = 0, tx = 0;
        for (const auto& [name, pair] : current) {
            const auto before = previous.find(name);
            if (interfaces::isSkipped(name) || before == previous.end()) continue;
            rx += static_cast<std::int64_t>(interfaces::counterDelta(static_cast<std::uint64_t>(pair.first),
                                                                     static_cast<std::uint64_t>(before->second.first)));
            tx += static_cast<std::int64_t>(interfaces::counterDelta(
                static_cast<std::uint64_t>(pair.second), static_cast<std::uint64_t>(before->second.second)));
        }
        previous = current;
        destroyed.drain();
        if (rx <= 0 && tx <= 0) return;
        for (const auto& attribution : reconciliation::normalize(layer.attributedUsage(rx, tx), rx, tx)) {
            auto& sum = outcome.credited[attribution.appID];
            sum.first += attribution.rxBytes;
            sum.second += attribution.txBytes;
        }
    };

    const auto listener0 = bench::toolListenerUsage();
    const auto wall0 = Clock::now();
    Servers servers;
    const auto until = Clock::now() + 1500ms + std::chrono::seconds(seconds);
    for (const auto& link : links) servers.start(link, until);
    std::this_thread::sleep_for(100ms);  // the listeners are up
    std::vector<pid_t> programs;
    for (const auto& link : links) {
        programs.push_back(startProgram(link, until));
        scratch.addChild(programs.back());
    }
    auto next = Clock::now() + 1s;
    for (; next < until + 2s; next += 1s) {
        std::this_thread::sleep_until(next);
        tick();
    }
    for (const pid_t pid : programs) ::waitpid(pid, nullptr, 0);
    servers.join();
    std::this_thread::sleep_until(next);
    tick();
    const auto listener1 = bench::toolListenerUsage();
    outcome.wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    outcome.listenerCpu = listener1.cpuSeconds - listener0.cpuSeconds;
    outcome.listenerKb = listener1.residentKb;
    outcome.destroyed = destroyed.drain();

    const auto end = linkCounters();
    for (const auto& link : links) {
        const auto name = link.interface + "0";
        outcome.wire[link.program] = {end.at(name).first - start.at(name).first,
                                      end.at(name).second - start.at(name).second};
    }
    outcome.toolCpu = runner->cpu;
    outcome.toolRuns = runner->runs;
    return outcome;
}

void report(const char* workload, const Outcome& outcome) {
    const auto mb = [](std::int64_t bytes) { return static_cast<double>(bytes) / 1e6; };
    std::int64_t total = 0;
    for (const auto& [program, wire] : outcome.wire) total += wire.first + wire.second;
    std::printf(
        "%s: %.1f MB on the wire, %ld tool runs, %.2f ms tool CPU per run; %ld TCP sockets ended, listener "
        "%.3f ms CPU a second, %ld kB resident\n",
        workload, mb(total), outcome.toolRuns,
        1e3 * outcome.toolCpu / static_cast<double>(std::max(outcome.toolRuns, 1L)), outcome.destroyed,
        1e3 * outcome.listenerCpu / outcome.wall, outcome.listenerKb);
    std::printf("  %-14s %10s %10s %12s %12s %9s\n", "program", "true rx MB", "true tx MB", "credited rx",
                "credited tx", "credited");
    for (const auto& [program, wire] : outcome.wire) {
        const auto found = outcome.credited.find("process." + program);
        const Pair credited = found == outcome.credited.end() ? Pair{} : found->second;
        std::printf("  %-14s %10.3f %10.3f %12.3f %12.3f %8.1f%%\n", program.c_str(), mb(wire.first), mb(wire.second),
                    mb(credited.first), mb(credited.second),
                    100.0 * static_cast<double>(credited.first + credited.second) /
                        static_cast<double>(std::max<std::int64_t>(wire.first + wire.second, 1)));
    }
    for (const auto& [app, credited] : outcome.credited) {
        const bool program = app.starts_with("process.") && outcome.wire.count(app.substr(8)) != 0;
        if (program) continue;
        std::printf("  %-14s %21s %12.3f %12.3f %8.1f%% of all\n",
                    app == "com.ostrel.unattributed" ? "Unattributed" : app.c_str(), "", mb(credited.first),
                    mb(credited.second),
                    100.0 * static_cast<double>(credited.first + credited.second) /
                        static_cast<double>(std::max<std::int64_t>(total, 1)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    bench::BenchScratch scratch("ostrel-coverage");
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (::geteuid() != 0) scratch.fail("needs root to make its network namespaces");
    scratch.addNamespace(near);
    scratch.addNamespace(far);
    if (!makeNamespaces()) scratch.fail("could not set up the benchmark's namespaces");
    ToolPaths paths = ToolPaths::inLibexec(OSTREL_BUILD_LIBEXEC_DIR);
    if (argc > 2) paths.nettop = argv[2];

    try {
        report("bulk TCP", measure({bulkLink}, seconds, paths, scratch));
        report("short TCP connections", measure({shortLink}, seconds, paths, scratch));
        report("UDP", measure({udpLink}, seconds, paths, scratch));
        report("all three", measure({bulkLink, shortLink, udpLink}, seconds, paths, scratch));
        // Not one of the four: what the listener is for, connections that end between two runs.
        report("TCP connections of 1 to 3 s", measure({mediumLink}, seconds, paths, scratch));
    } catch (const std::exception& error) {
        scratch.fail(error.what());
    }
    return 0;
}
