#include "ClosedSockets.hpp"

#include <fcntl.h>
#include <linux/sock_diag.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <string_view>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view formatWord = "ostrel-nettop-closed 1";
constexpr int answerWaitMs = 200;

std::optional<sockaddr_un> unixAddress(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Takes every announcement waiting on the socket.
void drain(int events, std::vector<SocketCounters>& closed) {
    alignas(nlmsghdr) char buffer[16384];
    for (;;) {
        const ssize_t received = ::recv(events, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received < 0) {
            // Announcements lost to a full socket buffer leave their bytes unseen, nothing worse.
            if (errno == EINTR || errno == ENOBUFS) continue;
            return;
        }
        auto remaining = static_cast<unsigned int>(received);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            const auto counters = readSocketMessage(header);
            if (counters && !counters->local && closed.size() < maxClosedSockets) closed.push_back(*counters);
        }
    }
}

void answer(int requests, std::uint64_t netns, std::vector<SocketCounters>& closed) {
    const UniqueFd client(::accept4(requests, nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.valid()) return;
    std::string text(formatWord);
    text += ' ' + std::to_string(netns) + '\n';
    for (const auto& socket : closed) {
        text += std::to_string(socket.cookie) + ' ' + std::to_string(socket.bytesIn) + ' ' +
                std::to_string(socket.bytesOut) + '\n';
    }
    closed.clear();
    const timeval wait{0, answerWaitMs * 1000};
    ::setsockopt(client.get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t count = ::send(client.get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        sent += static_cast<std::size_t>(count);
    }
}

// Wakes only when a run asks, about once a second, or now and then to see whether it is still
// wanted: the announcements wait in the socket's buffer meanwhile. Those that overflow it are
// lost, and their bytes stay unseen.
[[noreturn]] void listen(int events, int requests, const std::string& path, std::uint64_t netns) {
    struct stat own {};
    ::stat(path.c_str(), &own);
    std::vector<SocketCounters> closed;
    auto askedAt = Clock::now();
    for (;;) {
        pollfd request{requests, POLLIN, 0};
        if (::poll(&request, 1, 5000) < 0 && errno != EINTR) ::_exit(1);
        if (request.revents != 0) {
            drain(events, closed);
            answer(requests, netns, closed);
            askedAt = Clock::now();
            continue;
        }
        // Gone with its folder, or replaced by another version's listener.
        struct stat named {};
        if (Clock::now() - askedAt > std::chrono::seconds(listenerIdleSeconds) || ::stat(path.c_str(), &named) != 0 ||
            named.st_ino != own.st_ino) {
            ::_exit(0);
        }
    }
}

}  // namespace

std::optional<std::vector<SocketCounters>> collectClosedSockets(const std::string& path, std::uint64_t netns) {
    const auto address = unixAddress(path);
    const UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!address || !fd.valid() ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return std::nullopt;
    }
    const timeval wait{0, answerWaitMs * 1000};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }

    std::vector<SocketCounters> closed;
    const auto firstEnd = text.find('\n');
    // A listener too busy to answer in time answers the next run.
    if (firstEnd == std::string::npos) return closed;
    // Another version's listener (or another namespace's, whose inode this one now has) ends once
    // a new one takes its name.
    if (std::string_view(text).substr(0, firstEnd) != std::string(formatWord) + ' ' + std::to_string(netns)) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(firstEnd + 1);
    while (!rest.empty() && closed.size() < maxClosedSockets) {
        const auto line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        const auto first = line.find(' '), second = line.rfind(' ');
        if (first == second) continue;
        const auto cookie = number(line.substr(0, first)), in = number(line.substr(first + 1, second - first - 1)),
                   out = number(line.substr(second + 1));
        if (cookie && in && out) closed.push_back({*cookie, 0, *in, *out, false});
    }
    return closed;
}

bool startClosedSocketListener(const std::string& path, std::uint64_t netns) {
    const auto address = unixAddress(path);
    UniqueFd events(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    UniqueFd requests(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_nl groups{};
    groups.nl_family = AF_NETLINK;
    groups.nl_groups = (1u << (SKNLGRP_INET_TCP_DESTROY - 1)) | (1u << (SKNLGRP_INET6_TCP_DESTROY - 1));
    if (!address || !events.valid() || !requests.valid() ||
        ::bind(events.get(), reinterpret_cast<const sockaddr*>(&groups), sizeof groups) != 0) {
        return false;
    }
    // A second's announcements wait in this buffer; the kernel caps it at its limit for users.
    const int buffer = 4 << 20;
    ::setsockopt(events.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    // A listener that ended left its name behind; the caller's lock keeps other runs out.
    ::unlink(address->sun_path);
    if (::bind(requests.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(requests.get(), 4) != 0) {
        return false;
    }
    const pid_t pid = ::fork();
    if (pid != 0) return pid > 0;

    // A process of its own that holds nothing of the run that started it: not its lock, not the
    // sampler's pipes, not its process group.
    ::setsid();
    ::prctl(PR_SET_NAME, "nettop-closed");
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2; ++fd) ::dup2(null, fd);
    const auto low = static_cast<unsigned>(std::min(events.get(), requests.get()));
    const auto high = static_cast<unsigned>(std::max(events.get(), requests.get()));
    ::close_range(3, low - 1, 0);
    ::close_range(low + 1, high - 1, 0);
    ::close_range(high + 1, ~0U, 0);
    listen(events.get(), requests.get(), address->sun_path, netns);
}

}  // namespace ostrel::nettop
