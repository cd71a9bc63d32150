#include "SocketLoad.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace ostrel::bench {
namespace {

constexpr std::uint16_t firstPort = 20000;
constexpr std::size_t perHolder = 1000;

sockaddr_in farAddress(std::uint16_t port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, "10.231.0.2", &at.sin_addr);
    return at;
}

void enter(const std::string& ns) {
    const int target = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (target < 0 || ::setns(target, CLONE_NEWNET) != 0) ::_exit(1);
    ::close(target);
}

// Opens `count` connections to `port`, says so, then keeps them, the first `moving` sending,
// until it is killed.
void hold(const std::string& near, std::size_t count, std::size_t moving, std::uint16_t port, int report) {
    ::prctl(PR_SET_NAME, "socket-holder");
    enter(near);
    std::vector<int> sockets;
    const auto at = farAddress(port);
    for (std::size_t i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) ::_exit(1);
        sockets.push_back(fd);
    }
    if (::write(report, "r", 1) != 1) ::_exit(1);
    if (moving == 0) {
        for (;;) ::pause();
    }
    const char data[64] = {};
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        for (std::size_t i = 0; i < moving; ++i) ::send(sockets[i], data, sizeof data, MSG_DONTWAIT | MSG_NOSIGNAL);
        next.tv_nsec += 10'000'000;
        if (next.tv_nsec >= 1'000'000'000) next.tv_nsec -= 1'000'000'000, ++next.tv_sec;
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

// Listens on `port`, says so, accepts `count` connections, says so, and reads whatever arrives
// until it is killed.
void read(const std::string& far, std::size_t count, std::size_t, std::uint16_t port, int report) {
    ::prctl(PR_SET_NAME, "socket-reader");
    enter(far);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;  // the previous load's connections may still wait out their close here
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const auto at = farAddress(port);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(listener, static_cast<int>(count)) != 0 || ::write(report, "r", 1) != 1) {
        ::_exit(1);
    }
    const int events = ::epoll_create1(EPOLL_CLOEXEC);
    for (std::size_t i = 0; i < count; ++i) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0) ::_exit(1);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = client;
        ::epoll_ctl(events, EPOLL_CTL_ADD, client, &event);
    }
    if (::write(report, "a", 1) != 1) ::_exit(1);
    std::vector<epoll_event> ready(256);
    std::vector<char> sink(65536);
    for (;;) {
        const int n = ::epoll_wait(events, ready.data(), static_cast<int>(ready.size()), -1);
        for (int i = 0; i < n; ++i) {
            const int fd = ready[static_cast<std::size_t>(i)].data.fd;
            // A closed connection reads 0 and stays readable: it leaves the set.
            if (::recv(fd, sink.data(), sink.size(), 0) == 0) ::epoll_ctl(events, EPOLL_CTL_DEL, fd, nullptr);
        }
    }
}

// The next byte a child reports, or 0 when it ended or said nothing for two minutes.
char next(int report) {
    pollfd item{report, POLLIN, 0};
    char byte = 0;
    return ::poll(&item, 1, 120000) == 1 && ::read(report, &byte, 1) == 1 ? byte : 0;
}

}  // namespace

pid_t SocketLoad::start(BenchScratch& scratch, int& report,
                        void (*body)(const std::string&, std::size_t, std::size_t, std::uint16_t, int),
                        const std::string& ns, std::size_t count, std::size_t moving, std::uint16_t port) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        BenchScratch::childSetUp();
        body(ns, count, moving, port, ends[1]);
        ::_exit(0);
    }
    ::close(ends[1]);
    report = ends[0];
    if (pid > 0) {
        children_.push_back(pid);
        scratch.addChild(pid);
    }
    return pid;
}

SocketLoad::SocketLoad(BenchScratch& scratch, const std::string& near, const std::string& far, std::size_t count,
                       std::size_t moving) {
    const auto pairs = std::max<std::size_t>(1, (count + perHolder - 1) / perHolder);
    bool ready = true;
    for (std::size_t h = 0; h < pairs && ready; ++h) {
        const std::size_t share = count * (h + 1) / pairs - count * h / pairs;
        const std::size_t movingHere = moving * (h + 1) / pairs - moving * h / pairs;
        const auto port = static_cast<std::uint16_t>(firstPort + h);
        int reader = -1, holder = -1;
        ready = start(scratch, reader, read, far, share, 0, port) > 0 && next(reader) == 'r' &&
                start(scratch, holder, hold, near, share, movingHere, port) > 0 && next(holder) == 'r' &&
                next(reader) == 'a';
        for (const int fd : {reader, holder}) {
            if (fd >= 0) ::close(fd);
        }
    }
    if (!ready) {
        release();
        throw std::runtime_error("could not open the connections");
    }
}

SocketLoad::~SocketLoad() {
    release();
}

void SocketLoad::release() {
    for (const pid_t pid : children_) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    children_.clear();
}

}  // namespace ostrel::bench
