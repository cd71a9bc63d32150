#include "TrafficState.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

constexpr std::string_view formatLine = "ostrel-nettop-state 2";
constexpr std::string_view firstFormatLine = "ostrel-nettop-state 1";
constexpr const char* stateName = "/nettop.state";

// Ours and closed to everybody else, wherever it is: a runtime folder named by the environment
// need not be private itself.
bool ensureOwnDirectory(const std::string& path, uid_t uid) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == uid && (info.st_mode & 077) == 0;
}

template <typename T = std::uint64_t>
std::optional<T> number(std::string_view text) {
    T value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::string formatState(const TrafficState& state) {
    std::string text(formatLine);
    text += '\n';
    for (const auto& [key, totals] : state) {
        text += std::to_string(key.first) + ' ' + std::to_string(key.second) + ' ' + std::to_string(totals.received) +
                ' ' + std::to_string(totals.sent) + ' ' + std::to_string(totals.pid) + ' ' +
                std::to_string(totals.fd) + ' ' + std::to_string(totals.missedAt) + '\n';
    }
    return text;
}

TrafficState parseState(std::string_view text) {
    TrafficState state;
    const auto firstEnd = text.find('\n');
    if (firstEnd == std::string_view::npos) return state;
    const auto format = text.substr(0, firstEnd);
    const bool withOwners = format == formatLine;
    if (!withOwners && format != firstFormatLine) return state;
    const std::size_t fields = withOwners ? 7 : 4;
    std::size_t pos = firstEnd + 1;
    while (pos < text.size()) {
        const auto end = std::min(text.find('\n', pos), text.size());
        const auto line = text.substr(pos, end - pos);
        pos = end + 1;
        std::string_view parts[7];
        std::size_t count = 0;
        std::size_t start = 0;
        while (start <= line.size() && count <= fields) {
            const auto space = std::min(line.find(' ', start), line.size());
            if (count < fields) parts[count] = line.substr(start, space - start);
            ++count;
            start = space + 1;
        }
        if (count != fields) continue;
        const auto inode = number(parts[0]), cookie = number(parts[1]), received = number(parts[2]),
                   sent = number(parts[3]);
        if (!inode || !cookie || !received || !sent) continue;
        SocketTotals totals{*received, *sent};
        if (withOwners) {
            const auto pid = number<int>(parts[4]), fd = number<int>(parts[5]);
            const auto missedAt = number(parts[6]);
            if (!pid || !fd || !missedAt) continue;
            totals.pid = *pid;
            totals.fd = *fd;
            totals.missedAt = *missedAt;
        }
        state[{*inode, *cookie}] = totals;
    }
    return state;
}

std::optional<std::string> stateDirectory(const char* xdgRuntimeDir, const std::string& tmpRoot, uid_t uid) {
    const std::string directory = xdgRuntimeDir && xdgRuntimeDir[0] == '/'
                                      ? std::string(xdgRuntimeDir) + "/ostrel"
                                      : tmpRoot + "/ostrel-nettop-" + std::to_string(uid);
    if (ensureOwnDirectory(directory, uid)) return directory;
    return std::nullopt;
}

StateFile::StateFile(std::string directory) : directory_(std::move(directory)) {
    lockFd_ = ::open((directory_ + "/nettop.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ >= 0) {
        while (::flock(lockFd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

StateFile::~StateFile() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

std::optional<TrafficState> StateFile::load() const {
    // Only a file this program wrote: no link, FIFO or device planted in its place.
    const UniqueFd fd(::open((directory_ + stateName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid()) return std::nullopt;
    struct stat info {};
    std::string text;
    if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            text.append(buffer, static_cast<std::size_t>(count));
        }
    }
    return parseState(text);
}

bool StateFile::save(const TrafficState& state) const {
    std::string temporary = directory_ + "/nettop.state.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const auto text = formatState(state);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        written += static_cast<std::size_t>(count);
    }
    const bool complete = written == text.size() && ::close(fd) == 0;
    if (!complete || std::rename(temporary.c_str(), (directory_ + stateName).c_str()) != 0) {
        if (written != text.size()) ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace ostrel::nettop
